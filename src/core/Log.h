#pragma once
// One logger per component category, under the identifier "tapwell". Messages go to the systemd
// journal when one is reachable (category in the field TAPWELL_CATEGORY) and to standard error
// otherwise. TAPWELL_LOG (trace, debug, info, warn, error, off) sets the level; the default is
// info.

#include <spdlog/logger.h>

namespace tapwell {

enum class LogCategory { startup, keyboardPermission, audio, stats, systemEvents };

const char* toString(LogCategory category);  // "startup", "keyboard-permission", ...

spdlog::logger& logger(LogCategory category);

// Sends every category to standard error from now on (command-line tools use this).
void logToStandardError();

}  // namespace tapwell

#pragma once
// One logger per component category, under the identifier "tapwell". Messages go to the systemd
// journal when one is reachable (category in the field TAPWELL_CATEGORY) and to standard error
// otherwise. TAPWELL_LOG (trace, debug, info, warn, error, off) sets the level; the default is
// info in the journal and error on standard error, which is the user's terminal: what a user must
// know is said there in words of its own, not in log lines. Verbose logging (--verbose) sends
// every category to standard error at debug level.

#include <spdlog/logger.h>

namespace tapwell {

enum class LogCategory { startup, keyboardPermission, audio, stats, systemEvents };

const char* toString(LogCategory category);  // "startup", "keyboard-permission", ...

spdlog::logger& logger(LogCategory category);

// Sends every category to standard error from now on (command-line tools use this).
void logToStandardError();

// Sends every category to standard error at debug level from now on (unless TAPWELL_LOG says
// otherwise), including the messages of libraries that are otherwise kept out of the terminal.
void logVerbosely();

}  // namespace tapwell

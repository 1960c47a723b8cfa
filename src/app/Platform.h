#pragma once
// The operating system's services for the application, built by the platform's adapter file
// (platform/linux/LinuxAppPlatform.cpp on Linux).

#include <memory>
#include <optional>
#include <string>

#include "app/AppState.h"
#include "cli/Cli.h"

namespace tapwell {

struct PlatformServices {
    std::unique_ptr<KeyTap> keyTap;
    std::unique_ptr<HotKeyService> hotKeys;  // none without a display
    SystemEventsMonitor::Platform system;
    SoundEngineFactory makeSoundEngine;
    bool hasDisplay = false;
};

// Fails with a message for the user when an option is malformed (for example --audio-output).
std::expected<PlatformServices, std::string> makePlatformServices(const cli::AppOptions& options);

// Calls `handler` (on a thread of its own) when the process is asked to terminate (SIGINT,
// SIGTERM, SIGHUP). Call once, before other threads start, so the signals reach only it.
void watchTerminationSignals(std::function<void(int signal)> handler);

}  // namespace tapwell

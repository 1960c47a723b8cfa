#pragma once
// The operating system's services for the application, built by the adapter file of the system
// being built for (platform/linux/LinuxPlatformServices.cpp on Linux).

#include <expected>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>

#include "keyboard/HotKeyService.h"
#include "keyboard/KeyTap.h"
#include "sound/AudioOutputChoice.h"
#include "sound/SoundEngine.h"
#include "system/SystemEventsMonitor.h"

namespace tapwell {

struct PlatformServices {
    std::unique_ptr<KeyTap> keyTap;
    std::unique_ptr<HotKeyService> hotKeys;  // refuses every registration without a display
    SystemEventsMonitor::Platform system;
    SoundEngineFactory makeSoundEngine;
    bool hasDisplay = false;
    // Whether the desktop blends translucent windows right now; none: it always does.
    std::function<bool()> compositing;
};

// Never fails: a service the machine lacks is built as its stand-in, which reports itself
// unavailable when used.
PlatformServices makePlatformServices(const AudioOutputChoice& audio);

// Calls `handler` (on a thread of its own) when the process is asked to terminate (SIGINT,
// SIGTERM, SIGHUP). Call once, before other threads start, so the signals reach only it.
void watchTerminationSignals(std::function<void(int signal)> handler);

// Loads the program's own module `file` (once; later calls find it loaded) from its private
// module folder: "../lib/tapwell/modules" beside the executable once installed, else the
// executable's own folder (the build tree). Returns the address of its symbol `entry`, or why it
// failed.
std::expected<void*, std::string> loadProgramModule(const std::string& file, const char* entry);

// Loads the module as `loadProgramModule` does and calls its entry, a function of type `Entry`
// taking nothing; returns what the entry returns, or why the module could not be loaded.
template <class Entry>
std::expected<std::invoke_result_t<Entry>, std::string> callProgramModule(const std::string& file,
                                                                          const char* entry) {
    auto symbol = loadProgramModule(file, entry);
    if (!symbol) {
        return std::unexpected(std::move(symbol.error()));
    }
    // The one way from a symbol's address to a function: the module exports the entry as such.
    return reinterpret_cast<Entry>(*symbol)();
}

// Calls `handler` once (on the thread that noticed it) when the display server the program is
// connected to goes away. Call before makePlatformServices.
void watchDisplayConnection(std::function<void()> handler);

// Takes the toolkit's own Xlib connection (a `Display*`) into the same care as the program's:
// the toolkit installs a connection-error handler that ends the process, which would otherwise
// replace the program's for every connection. Call after the toolkit opened its connection.
void adoptToolkitDisplay(void* xlibDisplay);
// Asks the server for a round trip on the toolkit's connection, so that a connection the toolkit
// found broken is reported to the `watchDisplayConnection` handler too. Does nothing without one.
void probeToolkitDisplay();

}  // namespace tapwell

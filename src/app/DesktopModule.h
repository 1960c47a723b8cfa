#pragma once
// The desktop face of the program (its windows, the tray item and popover, the overlays, the
// recap card's renderer and the toolkit's event loop, on Qt) lives in a module of its own that the
// program loads only when it shows windows or draws a recap card. A run without windows and the
// command line then never map Qt at all, which would be most of their memory and start-up time.
// The module resolves the rest of the program against the executable.

#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/AppShell.h"
#include "app/StateView.h"
#include "core/MainQueue.h"
#include "core/MainTimer.h"
#include "presentation/OverlayPresenter.h"
#include "recap/RecapContent.h"

namespace tapwell {

// The windows, tray item and overlays of one run, and the event loop they live on. Main thread
// only, but for `quit`.
class DesktopFace {
  public:
    virtual ~DesktopFace() = default;
    virtual AppShell& shell() = 0;
    virtual OverlayPresenter& overlays() = 0;
    // Work posted to and delayed on the toolkit's event loop.
    virtual MainQueue& mainQueue() = 0;
    virtual MainTimer& mainTimer() = 0;
    // The toolkit's own Xlib connection (a `Display*`); null when it has none (another windowing
    // system).
    virtual void* xlibDisplay() = 0;
    // Makes the views' model over `state`, the tray item and the popover, once, before `exec`.
    // `becameActive` is called whenever the program becomes the active application, `changed`
    // after published values changed (once the views heard of it).
    virtual void attach(StateView& state, std::function<void()> becameActive,
                        std::function<void()> changed) = 0;
    // Lets go of the state given to `attach`; the views get no more news. Before the state goes.
    virtual void detach() = 0;
    // Runs the event loop until `quit`; returns its status.
    virtual int exec() = 0;
    // Thread-safe: ends `exec` once the event loop gets to it.
    virtual void quit() = 0;
};

// What the module offers; its entry `desktopModuleEntry` returns the one instance.
struct DesktopModule {
    // The application with windows (the program's names are set first) and its face.
    // `compositing` tells whether translucent windows are blended (none: they always are).
    std::unique_ptr<DesktopFace> (*makeFace)(int& argc, char** argv,
                                             std::function<bool()> compositing);
    // The recap card as PNG bytes without a display; none when it cannot be drawn.
    std::optional<std::string> (*renderRecapPngWithoutDisplay)(const RecapContent& content);
};

inline constexpr const char* desktopModuleFile = "libtapwell-desktop.so";
inline constexpr const char* desktopModuleEntry = "tapwell_desktop_module";
using DesktopModuleEntry = const DesktopModule* (*)();

// Loads the module; the error says why it could not be.
std::expected<const DesktopModule*, std::string> loadDesktopModule();

}  // namespace tapwell

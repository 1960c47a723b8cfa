#pragma once
// The desktop face of the program (its windows, the tray item and popover, the overlays and the
// recap card's renderer, on Qt Widgets and Qt Gui) lives in a module of its own that the program
// loads only when it shows windows or draws a recap card. A run without windows and the command
// line then never map the graphical libraries, which are most of the program's memory and
// start-up time. The module resolves the rest of the program against the executable.

#include <QCoreApplication>

#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/AppModel.h"
#include "app/AppShell.h"
#include "presentation/OverlayPresenter.h"
#include "recap/RecapContent.h"

namespace tapwell {

// The windows, tray item and overlays of one run. Main thread only.
class DesktopFace {
  public:
    virtual ~DesktopFace() = default;
    virtual AppShell& shell() = 0;
    virtual OverlayPresenter& overlays() = 0;
    // Creates the tray item and the popover for `model`, once, before the event loop runs;
    // `becameActive` is called whenever the program becomes the active application.
    virtual void attach(AppModel& model, std::function<void()> becameActive) = 0;
};

// What the module offers; its entry `desktopModuleEntry` returns the one instance.
struct DesktopModule {
    // The application object with windows; the program's names are set first.
    std::unique_ptr<QCoreApplication> (*makeApplication)(int& argc, char** argv);
    // After `makeApplication`. `compositing` tells whether translucent windows are blended
    // (none: they always are).
    std::unique_ptr<DesktopFace> (*makeFace)(std::function<bool()> compositing);
    // The recap card as PNG bytes without a display; none when it cannot be drawn.
    std::optional<std::string> (*renderRecapPngWithoutDisplay)(const RecapContent& content);
    // The toolkit's own Xlib connection (a `Display*`) of an application `makeApplication` made;
    // none when it has none (another windowing system).
    void* (*xlibDisplay)(QCoreApplication& application);
};

inline constexpr const char* desktopModuleFile = "libtapwell-desktop.so";
inline constexpr const char* desktopModuleEntry = "tapwell_desktop_module";
using DesktopModuleEntry = const DesktopModule* (*)();

// Loads the module; the error says why it could not be.
std::expected<const DesktopModule*, std::string> loadDesktopModule();

}  // namespace tapwell

#pragma once
// The application in front on an X11 session: the window manager names the focused window in the
// root window's _NET_ACTIVE_WINDOW property; its WM_CLASS is turned into an application id by the
// desktop entries. A private connection, read on its own thread ("com.tapwell.focus"), follows
// the property's changes. Reports only changes; none while no window has the focus, or without a
// window manager that keeps the property. No Qt.

#include <memory>
#include <optional>
#include <string>

#include "platform/DesktopServices.h"
#include "platform/linux/core/FdWatchThread.h"
#include "platform/linux/desktop/DesktopEntries.h"

struct _XDisplay;

namespace tapwell {

class X11FocusSource final : public FocusSource {
  public:
    // An empty `displayName` means $DISPLAY.
    explicit X11FocusSource(std::shared_ptr<DesktopEntries> entries, std::string displayName = {});
    ~X11FocusSource() override;

    // Logs and reports nothing when the display cannot be opened.
    void start() override;
    void stop() override;

  private:
    void drain();
    void report();
    std::optional<std::string> activeApplication();

    std::shared_ptr<DesktopEntries> entries_;
    std::string displayName_;
    _XDisplay* display_ = nullptr;
    unsigned long activeWindowAtom_ = 0;
    std::optional<std::optional<std::string>> reported_;
    FdWatchThread watcher_;
};

}  // namespace tapwell

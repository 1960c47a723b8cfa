#pragma once
// Everything the program shows on a desktop: the shell that opens its windows and dialogs, the
// tray item with its popover, and the overlays. Built before the application state (which asks
// the shell for windows) and attached to the state's model once that exists.

#include <memory>

#include "app/AppModel.h"
#include "ui/overlays/QtOverlayPresenter.h"
#include "ui/shell/QtShell.h"

namespace tapwell::ui {

class PopoverWindow;
class TrayController;

class DesktopUi {
  public:
    // `compositing` tells whether the desktop blends translucent windows (none: it always does).
    explicit DesktopUi(QtOverlayPresenter::CompositingProbe compositing = {});
    ~DesktopUi();
    DesktopUi(const DesktopUi&) = delete;
    DesktopUi& operator=(const DesktopUi&) = delete;

    QtShell& shell() { return shell_; }
    // The popover that the tray item toggles; null before `attach`.
    PopoverWindow* popover() { return popover_.get(); }
    // The tray item, once attached.
    TrayController* tray() { return tray_.get(); }
    QtOverlayPresenter& overlays() { return overlays_; }

    // Creates the tray item and the popover for `model`; call once, before the event loop runs.
    void attach(AppModel& model);

  private:
    QtShell shell_;
    std::unique_ptr<PopoverWindow> popover_;
    std::unique_ptr<TrayController> tray_;
    QtOverlayPresenter overlays_;
};

}  // namespace tapwell::ui

#include "ui/shell/DesktopUi.h"

#include "ui/tray/TrayController.h"

namespace tapwell::ui {

DesktopUi::DesktopUi() = default;

DesktopUi::~DesktopUi() = default;

void DesktopUi::attach(AppModel& model) {
    shell_.attach(model);

    // The tray item; a left click goes to `tray_->onActivate` (unset, it opens the item's menu).
    tray_ = std::make_unique<TrayController>(model);
    tray_->start();
}

}  // namespace tapwell::ui

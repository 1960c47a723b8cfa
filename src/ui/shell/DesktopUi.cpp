#include "ui/shell/DesktopUi.h"

#include "ui/popover/PopoverWindow.h"

namespace tapwell::ui {

DesktopUi::DesktopUi() = default;

DesktopUi::~DesktopUi() = default;

void DesktopUi::attach(AppModel& model) {
    shell_.attach(model);
    popover_ = std::make_unique<PopoverWindow>(model);
}

}  // namespace tapwell::ui

#include "ui/shell/DesktopUi.h"

namespace tapwell::ui {

DesktopUi::DesktopUi() = default;

DesktopUi::~DesktopUi() = default;

void DesktopUi::attach(AppModel& model) {
    shell_.attach(model);
}

}  // namespace tapwell::ui

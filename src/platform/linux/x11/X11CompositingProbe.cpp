#include "platform/linux/x11/X11CompositingProbe.h"

#include <string>

#include "platform/linux/x11/X11ErrorTrap.h"

namespace tapwell {

X11CompositingProbe::~X11CompositingProbe() {
    if (display_ != nullptr) {
        X11ErrorTrap::close(display_);
    }
}

bool X11CompositingProbe::active() {
    if (!opened_) {
        opened_ = true;
        display_ = XOpenDisplay(nullptr);
        if (display_ != nullptr) {
            X11ErrorTrap::adopt(display_);
            const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display_));
            selection_ = XInternAtom(display_, name.c_str(), False);
        }
    }
    if (display_ == nullptr) {
        return true;
    }
    return XGetSelectionOwner(display_, selection_) != None;
}

}  // namespace tapwell

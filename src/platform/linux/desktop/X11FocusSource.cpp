#include "platform/linux/desktop/X11FocusSource.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "core/Log.h"
#include "platform/linux/x11/X11ErrorTrap.h"

namespace tapwell {

X11FocusSource::X11FocusSource(std::shared_ptr<DesktopEntries> entries, std::string displayName)
    : entries_(std::move(entries)), displayName_(std::move(displayName)) {}

X11FocusSource::~X11FocusSource() {
    stop();
}

void X11FocusSource::start() {
    if (display_ != nullptr) {
        return;
    }
    display_ = XOpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
    if (display_ == nullptr) {
        logger(LogCategory::startup).warn("No X display: the application in front is not known");
        return;
    }
    X11ErrorTrap::adopt(display_);
    activeWindowAtom_ = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
    XSelectInput(display_, DefaultRootWindow(display_), PropertyChangeMask);
    report();
    if (auto error =
            watcher_.start(ConnectionNumber(display_), "com.tapwell.focus", [this] { drain(); })) {
        logger(LogCategory::startup)
            .warn("Cannot follow the focused window: {}", error->description);
    }
}

void X11FocusSource::stop() {
    watcher_.stop();
    if (display_ != nullptr) {
        X11ErrorTrap::close(display_);
        display_ = nullptr;
    }
}

void X11FocusSource::drain() {
    // Replies read while reporting can bring events into Xlib's queue without the descriptor
    // becoming readable again, so the queue is emptied until nothing is pending.
    while (XPending(display_) > 0) {
        bool changed = false;
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == PropertyNotify && event.xproperty.atom == activeWindowAtom_) {
                changed = true;
            }
        }
        if (changed) {
            report();
        }
    }
}

std::optional<std::string> X11FocusSource::activeApplication() {
    X11ErrorTrap trap(display_);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    Window active = None;
    if (XGetWindowProperty(display_, DefaultRootWindow(display_), activeWindowAtom_, 0, 1, False,
                           XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
        data != nullptr) {
        if (type == XA_WINDOW && format == 32 && count == 1) {
            active = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
        }
        XFree(data);
    }
    if (active == None) {
        return std::nullopt;
    }
    XClassHint hint{};
    // The window may be gone already; the trap keeps that error from ending the process.
    if (XGetClassHint(display_, active, &hint) == 0) {
        return std::nullopt;
    }
    const std::string instance = hint.res_name != nullptr ? hint.res_name : "";
    const std::string className = hint.res_class != nullptr ? hint.res_class : "";
    XFree(hint.res_name);
    XFree(hint.res_class);
    trap.sync();
    if (instance.empty() && className.empty()) {
        return std::nullopt;
    }
    return entries_->applicationID(instance, className);
}

void X11FocusSource::report() {
    auto id = activeApplication();
    if (reported_ && *reported_ == id) {
        return;
    }
    reported_ = id;
    if (onChange) {
        onChange(std::move(id));
    }
}

}  // namespace tapwell

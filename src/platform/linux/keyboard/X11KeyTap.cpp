#include "platform/linux/keyboard/X11KeyTap.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <ctime>

#include "keyboard/KeyCodes.h"
#include "platform/linux/x11/X11ErrorTrap.h"

namespace tapwell {

namespace {

std::int64_t monotonicMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

// X server times are CLOCK_MONOTONIC milliseconds cut to 32 bits; they wrap every 49.7 days.
// The event happened at most a little while ago, so the 32-bit difference to now tells its age.
std::int64_t eventTimeNs(unsigned long serverTime) {
    const std::int64_t nowMs = monotonicMs();
    const auto age = static_cast<std::int32_t>(static_cast<std::uint32_t>(nowMs) -
                                               static_cast<std::uint32_t>(serverTime));
    return (nowMs - age) * 1'000'000;
}

std::string lowercase(const char* text) {
    std::string out = text != nullptr ? text : "";
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

}  // namespace

X11KeyTap::X11KeyTap(std::string displayName) : displayName_(std::move(displayName)) {}

X11KeyTap::~X11KeyTap() {
    close();
}

const std::vector<std::string>& X11KeyTap::securePromptClasses() {
    static const std::vector<std::string> classes = {
        "pinentry",      // GnuPG's passphrase entry, all toolkits
        "askpass",       // ssh-askpass, ksshaskpass, gnome-ssh-askpass, x11-ssh-askpass
        "polkit",        // polkit authentication agents (GNOME, KDE, MATE, LXQt, lxpolkit)
        "gcr-prompter",  // GNOME keyring prompts
        "kwallet",       // KWallet's unlock dialog
    };
    return classes;
}

bool X11KeyTap::isSecurePromptClass(const std::string& name) {
    const std::string lower = lowercase(name.c_str());
    return std::any_of(securePromptClasses().begin(), securePromptClasses().end(),
                       [&](const std::string& c) { return lower.find(c) != std::string::npos; });
}

bool X11KeyTap::open() {
    Display* display = XOpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
    if (display == nullptr) {
        return false;
    }
    X11ErrorTrap::adopt(display);
    int event = 0;
    int error = 0;
    int major = 2;
    int minor = 0;
    if (!XQueryExtension(display, "XInputExtension", &xiOpcode_, &event, &error) ||
        XIQueryVersion(display, &major, &minor) != Success) {
        X11ErrorTrap::close(display);
        return false;
    }
    display_ = display;

    int xkbOpcode = 0;
    int xkbError = 0;
    int xkbMajor = XkbMajorVersion;
    int xkbMinor = XkbMinorVersion;
    if (XkbQueryExtension(display_, &xkbOpcode, &xkbEventBase_, &xkbError, &xkbMajor, &xkbMinor)) {
        XkbSelectEventDetails(display_, XkbUseCoreKbd, XkbStateNotify, XkbModifierLockMask,
                              XkbModifierLockMask);
    } else {
        xkbEventBase_ = -1;
    }
    activeWindowAtom_ = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
    XSelectInput(display_, DefaultRootWindow(display_), PropertyChangeMask);
    selectKeyEvents();
    XFlush(display_);
    return true;
}

void X11KeyTap::selectKeyEvents() {
    std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
    if (keyEventsEnabled_) {
        XISetMask(bits.data(), XI_RawKeyPress);
        XISetMask(bits.data(), XI_RawKeyRelease);
    }
    // The master devices only: with every device selected each key would arrive twice.
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(bits.size()), bits.data()};
    XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
}

void X11KeyTap::setKeyEventsEnabled(bool enabled) {
    if (enabled == keyEventsEnabled_) {
        return;
    }
    keyEventsEnabled_ = enabled;
    if (display_ != nullptr) {
        selectKeyEvents();
        XFlush(display_);
    }
}

bool X11KeyTap::refresh(KeyTapSink& sink) {
    if (display_ == nullptr && !open()) {
        secureInput_ = false;
        return false;
    }
    drainEvents(sink);
    if (display_ == nullptr) {
        return false;  // the connection broke while reading
    }
    updateSecureInput();
    return true;
}

void X11KeyTap::close() {
    if (display_ != nullptr) {
        X11ErrorTrap::close(display_);
        display_ = nullptr;
    }
    secureInput_ = false;
}

std::optional<bool> X11KeyTap::queryCapsLock(Display* display) const {
    XkbStateRec state{};
    if (XkbGetState(display, XkbUseCoreKbd, &state) != Success) {
        return std::nullopt;
    }
    return (state.locked_mods & LockMask) != 0;
}

std::optional<bool> X11KeyTap::capsLock() {
    // Not connected yet: connect as the first refresh would, so that the refresh finds the
    // connection made (the key monitor asks here first, on the way to the first key).
    if (display_ != nullptr || open()) {
        return queryCapsLock(display_);
    }
    // A server without the input extension still answers through a short-lived connection.
    Display* display = XOpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
    if (display == nullptr) {
        return std::nullopt;
    }
    X11ErrorTrap::adopt(display);
    int opcode = 0;
    int eventBase = 0;
    int errorBase = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    std::optional<bool> caps;
    if (XkbQueryExtension(display, &opcode, &eventBase, &errorBase, &major, &minor)) {
        caps = queryCapsLock(display);
    }
    X11ErrorTrap::close(display);
    return caps;
}

void X11KeyTap::collectWatches(std::vector<Watch>& out) {
    if (display_ != nullptr) {
        out.push_back(Watch{ConnectionNumber(display_), POLLIN, this, 0});
    }
}

void X11KeyTap::dispatch(const Watch&, short revents, KeyTapSink& sink) {
    if (display_ == nullptr) {
        return;
    }
    if ((revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && (revents & POLLIN) == 0) {
        X11ErrorTrap::connectionLost(display_);  // the server went away
        close();
        sink.eventsMissed();
        return;
    }
    drainEvents(sink);
}

bool X11KeyTap::dispatchBuffered(KeyTapSink& sink) {
    if (display_ == nullptr || XEventsQueued(display_, QueuedAlready) == 0) {
        return false;
    }
    drainEvents(sink);
    return true;
}

void X11KeyTap::drainEvents(KeyTapSink& sink) {
    bool focusMayHaveChanged = false;
    while (display_ != nullptr && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == GenericEvent && event.xcookie.extension == xiOpcode_) {
            if (!XGetEventData(display_, &event.xcookie)) {
                continue;
            }
            const int type = event.xcookie.evtype;
            if (type == XI_RawKeyPress || type == XI_RawKeyRelease) {
                const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
                sink.keyEvent(KeyTapEvent{
                    keycode::fromX11(raw->detail),
                    type == XI_RawKeyPress ? KeyTapAction::press : KeyTapAction::release,
                    eventTimeNs(raw->time)});
            }
            XFreeEventData(display_, &event.xcookie);
        } else if (xkbEventBase_ >= 0 && event.type == xkbEventBase_) {
            const auto* xkb = reinterpret_cast<const XkbEvent*>(&event);
            if (xkb->any.xkb_type == XkbStateNotify) {
                sink.capsLockChanged((xkb->state.locked_mods & LockMask) != 0);
            }
        } else if (event.type == PropertyNotify && event.xproperty.atom == activeWindowAtom_) {
            focusMayHaveChanged = true;
        }
    }
    if (focusMayHaveChanged) {
        updateSecureInput();
    }
}

void X11KeyTap::updateSecureInput() {
    Window focus = None;
    int revertTo = 0;
    X11ErrorTrap trap(display_);
    XGetInputFocus(display_, &focus, &revertTo);
    const Window root = DefaultRootWindow(display_);
    bool secure = false;
    // The focus is often a child of the prompt's top-level window: walk up to the first window
    // that names its class.
    for (int depth = 0; depth < 16 && focus != None && focus != PointerRoot && focus != root;
         ++depth) {
        XClassHint hint{};
        if (XGetClassHint(display_, focus, &hint) != 0) {
            secure = (hint.res_name != nullptr && isSecurePromptClass(hint.res_name)) ||
                     (hint.res_class != nullptr && isSecurePromptClass(hint.res_class));
            XFree(hint.res_name);
            XFree(hint.res_class);
            break;
        }
        Window rootReturn = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(display_, focus, &rootReturn, &parent, &children, &count) == 0) {
            break;  // the window is gone
        }
        if (children != nullptr) {
            XFree(children);
        }
        focus = parent;
    }
    trap.sync();
    secureInput_ = secure;
}

}  // namespace tapwell

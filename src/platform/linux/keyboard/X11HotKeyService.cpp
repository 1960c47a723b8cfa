#include "platform/linux/keyboard/X11HotKeyService.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <vector>

#include "core/ThreadName.h"
#include "keyboard/KeyCodes.h"
#include "platform/linux/x11/X11ErrorTrap.h"

namespace tapwell {

namespace {

std::string errorText(Display* display, int code) {
    std::array<char, 256> text{};
    XGetErrorText(display, code, text.data(), static_cast<int>(text.size()));
    return text.data();
}

}  // namespace

X11HotKeyService::X11HotKeyService(std::string displayName) : displayName_(std::move(displayName)) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

X11HotKeyService::~X11HotKeyService() {
    removeHandler();
    if (listener_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
        listener_.join();
    }
    std::lock_guard lock(xMutex_);
    if (display_ != nullptr) {
        for (const auto& [ref, grab] : grabs_) {
            ungrab(grab);
        }
        grabs_.clear();
        X11ErrorTrap::close(display_);
        display_ = nullptr;
    }
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
}

void X11HotKeyService::installHandler(Handler handler) {
    std::lock_guard lock(handlerMutex_);
    handler_ = std::move(handler);
}

void X11HotKeyService::removeHandler() {
    std::lock_guard lock(handlerMutex_);
    handler_ = nullptr;
}

std::expected<void, Error> X11HotKeyService::connect() {
    if (display_ != nullptr) {
        return {};
    }
    if (wakeFd_ < 0) {
        return std::unexpected(Error::posix(errno, "eventfd"));
    }
    Display* display = XOpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
    if (display == nullptr) {
        return std::unexpected(Error{"x11", 0, "Cannot open the X display"});
    }
    X11ErrorTrap::adopt(display);
    // Auto-repeat of a held combination then comes as presses only, which are easy to skip.
    XkbSetDetectableAutoRepeat(display, True, nullptr);

    // Num Lock sits on whichever modifier its key is mapped to (usually Mod2).
    numLockMask_ = 0;
    const KeyCode numLock = XKeysymToKeycode(display, XK_Num_Lock);
    if (XModifierKeymap* map = XGetModifierMapping(display); map != nullptr) {
        for (int modifier = 0; modifier < 8; ++modifier) {
            for (int k = 0; k < map->max_keypermod; ++k) {
                const KeyCode code = map->modifiermap[modifier * map->max_keypermod + k];
                if (numLock != 0 && code == numLock) {
                    numLockMask_ = 1U << modifier;
                }
            }
        }
        XFreeModifiermap(map);
    }
    display_ = display;
    listener_ = std::thread([this] { listen(); });
    return {};
}

unsigned int X11HotKeyService::lockVariants(std::size_t index) const {
    const std::array<unsigned int, 4> variants = {0U, LockMask, numLockMask_,
                                                  LockMask | numLockMask_};
    return variants[index];
}

std::expected<HotKeyRef, Error> X11HotKeyService::registerHotKey(const HotKey& hotKey) {
    std::lock_guard lock(xMutex_);
    if (auto connected = connect(); !connected.has_value()) {
        return std::unexpected(connected.error());
    }
    Grab grab;
    grab.hotKey = hotKey;
    grab.keycode = static_cast<int>(keycode::toX11(hotKey.keyCode));
    if (hotKey.keyCode <= 0 || grab.keycode > 255) {
        return std::unexpected(Error{"x11", BadValue, "The key does not exist on this display"});
    }
    if ((hotKey.modifiers & hotKeyModifier::control) != 0) {
        grab.modifiers |= ControlMask;
    }
    if ((hotKey.modifiers & hotKeyModifier::alt) != 0) {
        grab.modifiers |= Mod1Mask;
    }
    if ((hotKey.modifiers & hotKeyModifier::shift) != 0) {
        grab.modifiers |= ShiftMask;
    }
    if ((hotKey.modifiers & hotKeyModifier::super) != 0) {
        grab.modifiers |= Mod4Mask;
    }

    const Window root = DefaultRootWindow(display_);
    X11ErrorTrap trap(display_);
    for (std::size_t i = 0; i < 4; ++i) {
        XGrabKey(display_, grab.keycode, grab.modifiers | lockVariants(i), root, False,
                 GrabModeAsync, GrabModeAsync);
    }
    // The server answers a conflicting grab with BadAccess, asynchronously: wait for it.
    if (const int error = trap.sync(); error != Success) {
        ungrab(grab);  // releases only our own variants that did succeed
        XSync(display_, False);
        return std::unexpected(Error{"x11", error, errorText(display_, error)});
    }
    const HotKeyRef ref = nextRef_++;
    grabs_.emplace(ref, grab);
    return ref;
}

void X11HotKeyService::unregisterHotKey(HotKeyRef ref) {
    std::lock_guard lock(xMutex_);
    const auto it = grabs_.find(ref);
    if (it == grabs_.end() || display_ == nullptr) {
        return;
    }
    ungrab(it->second);
    grabs_.erase(it);
    XSync(display_, False);
}

void X11HotKeyService::ungrab(const Grab& grab) {
    X11ErrorTrap trap(display_);
    const Window root = DefaultRootWindow(display_);
    for (std::size_t i = 0; i < 4; ++i) {
        XUngrabKey(display_, grab.keycode, grab.modifiers | lockVariants(i), root);
    }
    trap.sync();
}

void X11HotKeyService::listen() {
    setCurrentThreadName(threadLabel);
    int connection = -1;
    {
        std::lock_guard lock(xMutex_);
        connection = ConnectionNumber(display_);
    }
    for (;;) {
        std::array<pollfd, 2> fds{pollfd{wakeFd_, POLLIN, 0}, pollfd{connection, POLLIN, 0}};
        // Events read into Xlib's buffer by a register call would not wake poll(): handle them
        // first, then wait.
        handlePendingEvents();
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
            return;
        }
        if (fds[0].revents != 0) {
            return;  // the service is going away
        }
        if ((fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            return;  // the display is gone; registrations stay in place but never fire
        }
    }
}

void X11HotKeyService::handlePendingEvents() {
    std::vector<std::uint32_t> pressed;
    {
        std::lock_guard lock(xMutex_);
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == KeyRelease) {
                heldKeycodes_.erase(static_cast<int>(event.xkey.keycode));
                continue;
            }
            if (event.type != KeyPress) {
                continue;
            }
            // A held combination repeats its press (detectable auto-repeat): one toggle only.
            if (!heldKeycodes_.insert(static_cast<int>(event.xkey.keycode)).second) {
                continue;
            }
            const unsigned int state = event.xkey.state & ~(LockMask | numLockMask_);
            for (const auto& [ref, grab] : grabs_) {
                if (static_cast<int>(event.xkey.keycode) == grab.keycode &&
                    (state & (ControlMask | Mod1Mask | ShiftMask | Mod4Mask)) == grab.modifiers) {
                    pressed.push_back(grab.hotKey.id);
                }
            }
        }
    }
    // Outside the X lock: the handler may unregister or register.
    std::lock_guard lock(handlerMutex_);
    if (handler_) {
        for (const std::uint32_t id : pressed) {
            handler_(id);
        }
    }
}

}  // namespace tapwell

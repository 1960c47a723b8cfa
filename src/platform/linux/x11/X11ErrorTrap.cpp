#include "platform/linux/x11/X11ErrorTrap.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "core/Log.h"

namespace tapwell {

int handleXError(Display* display, XErrorEvent* event);

namespace {

std::mutex registryMutex;
std::vector<Display*> adopted;     // guarded by registryMutex
std::vector<X11ErrorTrap*> traps;  // guarded; the innermost last
// Guarded; set aside, never closed, and kept reachable for the life of the process (the leak
// checker would otherwise report their Xlib state once static objects are gone).
std::vector<Display*>& broken = *new std::vector<Display*>;
XErrorHandler previousHandler = nullptr;
XIOErrorHandler previousIOHandler = nullptr;

std::mutex lostMutex;
std::function<void()> lostHandler;  // guarded by lostMutex
std::atomic<bool> lostReported{false};

bool isAdopted(Display* display) {
    std::lock_guard lock(registryMutex);
    return std::find(adopted.begin(), adopted.end(), display) != adopted.end();
}

// Xlib's own handler prints "XIO: fatal IO error" and leaves the ending to the exit handler; for
// our connections the loss is logged and handled instead.
int handleIOError(Display* display) {
    if (isAdopted(display)) {
        logger(LogCategory::keyboardPermission).info("The connection to the X server broke");
        return 0;
    }
    return previousIOHandler != nullptr ? previousIOHandler(display) : 0;
}

// In place of Xlib's exit(1): returning leaves the connection marked broken, so every later
// call on it returns at once, and the program ends in its own time.
void carryOnAfterIOError(Display* display, void*) {
    {
        std::lock_guard lock(registryMutex);
        if (std::find(broken.begin(), broken.end(), display) == broken.end()) {
            broken.push_back(display);
        }
    }
    X11ErrorTrap::connectionLost(display);
}

// A toolkit opening its own connection later may put its handlers in place of ours (Qt's end the
// process on a broken connection), so every adoption puts ours back on top, keeping whatever
// else was installed for the connections that are not ours.
void installHandler() {
    static std::mutex installMutex;
    std::lock_guard lock(installMutex);
    XErrorHandler current = XSetErrorHandler(&handleXError);
    if (current != &handleXError) {
        previousHandler = current;
    }
    XIOErrorHandler currentIO = XSetIOErrorHandler(&handleIOError);
    if (currentIO != &handleIOError) {
        previousIOHandler = currentIO;
    }
}

}  // namespace

int handleXError(Display* display, XErrorEvent* event) {
    {
        std::lock_guard lock(registryMutex);
        for (auto it = traps.rbegin(); it != traps.rend(); ++it) {
            if ((*it)->display_ == display) {
                if ((*it)->error_ == Success) {
                    (*it)->error_ = event->error_code;
                }
                return 0;
            }
        }
        if (std::find(adopted.begin(), adopted.end(), display) != adopted.end()) {
            logger(LogCategory::keyboardPermission)
                .debug("X error {} for request {}", static_cast<int>(event->error_code),
                       static_cast<int>(event->request_code));
            return 0;
        }
    }
    // Someone else's connection: leave it to whoever handled errors before us.
    return previousHandler != nullptr ? previousHandler(display, event) : 0;
}

void X11ErrorTrap::adopt(Display* display) {
    installHandler();
    XSetIOErrorExitHandler(display, &carryOnAfterIOError, nullptr);
    std::lock_guard lock(registryMutex);
    adopted.push_back(display);
}

void X11ErrorTrap::setConnectionLostHandler(std::function<void()> handler) {
    std::lock_guard lock(lostMutex);
    lostHandler = std::move(handler);
    lostReported = false;
}

void X11ErrorTrap::connectionLost(Display* display) {
    if (!isAdopted(display) || lostReported.exchange(true)) {
        return;
    }
    std::function<void()> handler;
    {
        std::lock_guard lock(lostMutex);
        handler = lostHandler;
    }
    if (handler) {
        handler();
    }
}

void X11ErrorTrap::close(Display* display) {
    const auto forget = [display](std::vector<Display*>& list) {
        if (auto it = std::find(list.begin(), list.end(), display); it != list.end()) {
            list.erase(it);
        }
    };
    {
        std::lock_guard lock(registryMutex);
        if (std::find(broken.begin(), broken.end(), display) != broken.end()) {
            forget(adopted);
            return;
        }
    }
    // Still adopted while it closes: the break may first show here, and must not reach the
    // handler of whoever installed one before us (Qt's ends the process).
    XCloseDisplay(display);
    std::lock_guard lock(registryMutex);
    forget(adopted);
    forget(broken);  // freed now; a later connection may get the same address
}

bool X11ErrorTrap::isBroken(Display* display) {
    std::lock_guard lock(registryMutex);
    return std::find(broken.begin(), broken.end(), display) != broken.end();
}

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display) {
    installHandler();
    std::lock_guard lock(registryMutex);
    traps.push_back(this);
}

X11ErrorTrap::~X11ErrorTrap() {
    std::lock_guard lock(registryMutex);
    std::erase(traps, this);
}

int X11ErrorTrap::sync() {
    XSync(display_, False);
    return firstError();
}

int X11ErrorTrap::firstError() const {
    std::lock_guard lock(registryMutex);
    return error_;
}

}  // namespace tapwell

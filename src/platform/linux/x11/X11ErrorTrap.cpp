#include "platform/linux/x11/X11ErrorTrap.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "core/Log.h"

namespace tapwell {

int handleXError(Display* display, XErrorEvent* event);

namespace {

std::mutex registryMutex;
std::vector<Display*> adopted;     // guarded by registryMutex
std::vector<X11ErrorTrap*> traps;  // guarded; the innermost last
XErrorHandler previousHandler = nullptr;
std::once_flag installOnce;

void installHandler() {
    std::call_once(installOnce, [] { previousHandler = XSetErrorHandler(&handleXError); });
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
    std::lock_guard lock(registryMutex);
    adopted.push_back(display);
}

void X11ErrorTrap::release(Display* display) {
    std::lock_guard lock(registryMutex);
    std::erase(adopted, display);
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

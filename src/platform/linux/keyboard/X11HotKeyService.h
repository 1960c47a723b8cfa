#pragma once
// System-wide hot keys on X11: a passive key grab on the root window of a private connection,
// read by a thread of its own ("com.tapwell.hotkey"). The grab must match the modifier state
// exactly, so each combination is grabbed also with Caps Lock, Num Lock and both. A grab that
// another client holds already fails with BadAccess, checked synchronously. Without a display
// every registration fails.
//
// Register and unregister from any one thread (the main thread); the handler runs on the
// service's thread and must not install or remove the handler itself.

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "keyboard/HotKeyService.h"

struct _XDisplay;

namespace tapwell {

class X11HotKeyService final : public HotKeyService {
  public:
    static constexpr const char* threadLabel = "com.tapwell.hotkey";

    // An empty name means $DISPLAY. The connection is opened by the first registration.
    explicit X11HotKeyService(std::string displayName = {});
    ~X11HotKeyService() override;
    X11HotKeyService(const X11HotKeyService&) = delete;
    X11HotKeyService& operator=(const X11HotKeyService&) = delete;

    void installHandler(Handler handler) override;
    void removeHandler() override;
    std::expected<HotKeyRef, Error> registerHotKey(const HotKey& hotKey) override;
    void unregisterHotKey(HotKeyRef ref) override;

  private:
    struct Grab {
        HotKey hotKey;
        int keycode = 0;
        unsigned int modifiers = 0;  // X modifier mask without the lock variants
    };

    std::expected<void, Error> connect();  // with xMutex_ held
    void listen();
    void handlePendingEvents();
    void ungrab(const Grab& grab);  // with xMutex_ held
    unsigned int lockVariants(std::size_t index) const;

    std::string displayName_;

    std::mutex xMutex_;  // every Xlib call on display_, and grabs_
    _XDisplay* display_ = nullptr;
    unsigned int numLockMask_ = 0;
    std::map<HotKeyRef, Grab> grabs_;
    HotKeyRef nextRef_ = 1;
    std::set<int> heldKeycodes_;  // grabbed keys now down, to skip their auto-repeat

    std::mutex handlerMutex_;  // held while the handler runs, so removal waits for it
    Handler handler_;

    int wakeFd_ = -1;
    std::thread listener_;
};

}  // namespace tapwell

#pragma once
// The one system-wide key combination, Control-Alt-K, that switches all sounds on or off from any
// application. Presses arrive on the hot-key service's thread and reach `onToggle` on the main
// thread through the main queue. Created, used and destroyed on the main thread.

#include <functional>
#include <memory>
#include <optional>

#include "core/Error.h"
#include "core/MainQueue.h"
#include "keyboard/HotKeyService.h"
#include "keyboard/KeyCodes.h"

namespace tapwell {

class GlobalShortcut {
  public:
    // Control-Alt-K, owner "TPWL", number 1.
    static constexpr HotKey toggleHotKey{keycode::k, hotKeyModifier::control | hotKeyModifier::alt,
                                         0x5450574C, 1};

    // Installs the press handler on `service`; nothing is registered yet.
    GlobalShortcut(std::unique_ptr<HotKeyService> service, MainQueue& mainQueue);
    // Unregisters the hot key if present and removes the handler. Presses already posted to the
    // main queue are ignored afterwards.
    ~GlobalShortcut();
    GlobalShortcut(const GlobalShortcut&) = delete;
    GlobalShortcut& operator=(const GlobalShortcut&) = delete;

    // Called on the main thread on every press of the hot key. Set before registering.
    std::function<void()> onToggle;

    // Registers the hot key (unregistering a present one first). True on success; on failure
    // nothing is registered and `lastError()` says why.
    bool registerHotKey();
    // Releases the hot key if present.
    void unregisterHotKey();

    bool isRegistered() const { return hotKey_.has_value(); }
    const std::optional<Error>& lastError() const { return lastError_; }

  private:
    // Outlived by posted presses: they find it expired once the shortcut is gone.
    struct Presence {
        GlobalShortcut* owner;
    };

    std::unique_ptr<HotKeyService> service_;
    MainQueue& mainQueue_;
    std::optional<HotKeyRef> hotKey_;
    bool handlerInstalled_ = false;
    std::optional<Error> lastError_;
    std::shared_ptr<Presence> presence_;
};

}  // namespace tapwell

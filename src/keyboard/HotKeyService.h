#pragma once
// What the global shortcut needs from the operating system: a system-wide hot key that is
// delivered even while another application has the focus. The Linux adapter grabs the key on the
// X11 root window (platform/linux/keyboard/X11HotKeyService); tests use a fake.

#include <cstdint>
#include <expected>
#include <functional>

#include "core/Error.h"

namespace tapwell {

// Modifier bits of a hot key.
namespace hotKeyModifier {
inline constexpr std::uint32_t control = 1U << 0;
inline constexpr std::uint32_t alt = 1U << 1;  // Option on other keyboards
inline constexpr std::uint32_t shift = 1U << 2;
inline constexpr std::uint32_t super = 1U << 3;
}  // namespace hotKeyModifier

struct HotKey {
    std::int64_t keyCode = 0;     // Linux input key code (KEY_*)
    std::uint32_t modifiers = 0;  // hotKeyModifier bits, all of which must be held
    std::uint32_t signature = 0;  // four-character code naming the owner
    std::uint32_t id = 0;         // told to the handler on each press

    bool operator==(const HotKey&) const = default;
};

// A registered hot key; never 0.
using HotKeyRef = std::uint64_t;

class HotKeyService {
  public:
    // Called with the hot key's id on every press, on the service's own event thread.
    using Handler = std::function<void(std::uint32_t id)>;

    virtual ~HotKeyService() = default;

    // Sets the handler for presses of every registered hot key, replacing an earlier one.
    virtual void installHandler(Handler handler) = 0;
    // Once this returns the handler is never called again.
    virtual void removeHandler() = 0;

    // Registers the combination system-wide. Fails with the system's error when there is no
    // display, the key does not exist on the keyboard, or another client holds the combination
    // (domain "x11", code BadAccess); nothing stays registered then.
    virtual std::expected<HotKeyRef, Error> registerHotKey(const HotKey& hotKey) = 0;
    // Releases a registered hot key; an unknown reference is ignored.
    virtual void unregisterHotKey(HotKeyRef ref) = 0;
};

}  // namespace tapwell

#pragma once
// Linux input key codes (KEY_* of linux/input-event-codes.h) that the program treats specially.
// An X11 keycode is the evdev code plus 8. Kept here as plain numbers so that nothing above the
// platform adapters includes a kernel header.

#include <cstdint>

namespace tapwell::keycode {

inline constexpr std::int64_t escape = 1;        // KEY_ESC
inline constexpr std::int64_t backspace = 14;    // KEY_BACKSPACE
inline constexpr std::int64_t tab = 15;          // KEY_TAB
inline constexpr std::int64_t enter = 28;        // KEY_ENTER
inline constexpr std::int64_t leftCtrl = 29;     // KEY_LEFTCTRL
inline constexpr std::int64_t a = 30;            // KEY_A
inline constexpr std::int64_t k = 37;            // KEY_K
inline constexpr std::int64_t leftShift = 42;    // KEY_LEFTSHIFT
inline constexpr std::int64_t rightShift = 54;   // KEY_RIGHTSHIFT
inline constexpr std::int64_t leftAlt = 56;      // KEY_LEFTALT
inline constexpr std::int64_t space = 57;        // KEY_SPACE
inline constexpr std::int64_t capsLock = 58;     // KEY_CAPSLOCK
inline constexpr std::int64_t keypadEnter = 96;  // KEY_KPENTER
inline constexpr std::int64_t rightCtrl = 97;    // KEY_RIGHTCTRL
inline constexpr std::int64_t rightAlt = 100;    // KEY_RIGHTALT
inline constexpr std::int64_t forwardDelete = 111;  // KEY_DELETE
inline constexpr std::int64_t leftMeta = 125;    // KEY_LEFTMETA
inline constexpr std::int64_t rightMeta = 126;   // KEY_RIGHTMETA
inline constexpr std::int64_t fn = 464;          // KEY_FN

// The modifier keys: they never sound and never count.
inline constexpr std::int64_t modifiers[] = {leftCtrl, rightCtrl, leftShift, rightShift, leftAlt,
                                             rightAlt, leftMeta,  rightMeta, capsLock,  fn};

constexpr bool isModifier(std::int64_t code) {
    for (std::int64_t m : modifiers) {
        if (m == code) {
            return true;
        }
    }
    return false;
}

// The X11 keycode of an evdev code and back.
constexpr std::int64_t fromX11(std::int64_t x11Keycode) { return x11Keycode - 8; }
constexpr std::int64_t toX11(std::int64_t code) { return code + 8; }

}  // namespace tapwell::keycode

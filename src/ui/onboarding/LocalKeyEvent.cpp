#include "ui/onboarding/LocalKeyEvent.h"

#include <QKeyEvent>

#include <array>
#include <cmath>

#include "keyboard/KeyCodes.h"

namespace tapwell::ui {

namespace {

// Keys without a Linux code of their own start here, beyond every Linux input code (KEY_MAX is
// 0x2ff).
constexpr std::int64_t unmappedBase = 0x10000;

// The X11 keycode of the lowest Linux input code, KEY_ESC.
constexpr quint32 lowestX11Keycode = 9;

// Linux codes of the letters A to Z, by their place on a US keyboard.
constexpr std::array<std::int64_t, 26> letterCodes{
    30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,  // A ... M
    49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44,  // N ... Z
};

std::int64_t codeOfQtKey(int key, Qt::KeyboardModifiers modifiers) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return letterCodes[static_cast<std::size_t>(key - Qt::Key_A)];
    }
    if (key >= Qt::Key_1 && key <= Qt::Key_9) {
        return 2 + (key - Qt::Key_1);  // KEY_1 is 2
    }
    switch (key) {
        case Qt::Key_0:
            return 11;  // KEY_0
        case Qt::Key_Space:
            return keycode::space;
        case Qt::Key_Return:
            return keycode::enter;
        case Qt::Key_Enter:
            return (modifiers & Qt::KeypadModifier) != 0 ? keycode::keypadEnter : keycode::enter;
        case Qt::Key_Backspace:
            return keycode::backspace;
        case Qt::Key_Delete:
            return keycode::forwardDelete;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return keycode::tab;
        case Qt::Key_Escape:
            return keycode::escape;
        case Qt::Key_Shift:
            return keycode::leftShift;
        case Qt::Key_Control:
            return keycode::leftCtrl;
        case Qt::Key_Alt:
            return keycode::leftAlt;
        case Qt::Key_AltGr:
            return keycode::rightAlt;
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
            return keycode::leftMeta;
        case Qt::Key_Super_R:
            return keycode::rightMeta;
        case Qt::Key_CapsLock:
            return keycode::capsLock;
        default:
            return unmappedBase + (static_cast<std::int64_t>(key) & 0x1ffffff);
    }
}

}  // namespace

ScanCodes scanCodesOf(const QString& platformName) {
    if (platformName == QLatin1String("xcb") || platformName.startsWith(QLatin1String("wayland"))) {
        return ScanCodes::x11;
    }
    return ScanCodes::none;
}

std::int64_t inputCode(const QKeyEvent& event, ScanCodes scanCodes) {
    // Synthesized events (input methods, tests) carry no scan code even under X11.
    if (scanCodes == ScanCodes::x11 && event.nativeScanCode() >= lowestX11Keycode) {
        return keycode::fromX11(event.nativeScanCode());
    }
    return codeOfQtKey(event.key(), event.modifiers());
}

double eventUptime(std::uint64_t eventMilliseconds, double nowUptime) {
    if (eventMilliseconds == 0 || !(nowUptime > 0.0)) {
        return nowUptime;
    }
    const auto now32 = static_cast<std::uint32_t>(std::llround(nowUptime * 1000.0));
    const auto age =
        static_cast<std::int32_t>(now32 - static_cast<std::uint32_t>(eventMilliseconds));
    if (age < -1000 || age > 10'000) {
        return nowUptime;
    }
    return nowUptime - age / 1000.0;
}

StateView::LocalKey localKey(const QKeyEvent& event, ScanCodes scanCodes, double nowUptime) {
    StateView::LocalKey key;
    key.code = inputCode(event, scanCodes);
    key.isDown = event.type() == QEvent::KeyPress;
    key.isAutoRepeat = event.isAutoRepeat();
    key.withCommandModifier =
        (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0;
    key.timestamp = eventUptime(event.timestamp(), nowUptime);
    return key;
}

}  // namespace tapwell::ui

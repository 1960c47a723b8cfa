// Qt key events turned into the keys the state's local key handler takes.

#include <gtest/gtest.h>

#include <QKeyEvent>

#include "keyboard/KeyCodes.h"
#include "ui/onboarding/LocalKeyEvent.h"

namespace tapwell::ui {
namespace {

TEST(LocalKeyEvent, CodesComeFromX11KeycodesElseFromTheQtKey) {
    const struct {
        const char* what;
        ScanCodes scanCodes;
        int key;
        Qt::KeyboardModifiers modifiers;
        quint32 scanCode;
        std::int64_t code;
    } cases[] = {
        {"X11 keycode of A", ScanCodes::x11, Qt::Key_A, {}, 38, keycode::a},
        {"X11 keycode of Q on an AZERTY layout", ScanCodes::x11, Qt::Key_A, {}, 24, 16},
        {"synthesized under X11", ScanCodes::x11, Qt::Key_Space, {}, 0, keycode::space},
        {"letter", ScanCodes::none, Qt::Key_A, {}, 38, keycode::a},
        {"last letter", ScanCodes::none, Qt::Key_Z, {}, 0, 44},
        {"digit", ScanCodes::none, Qt::Key_9, {}, 0, 10},
        {"zero", ScanCodes::none, Qt::Key_0, {}, 0, 11},
        {"space", ScanCodes::none, Qt::Key_Space, {}, 0, keycode::space},
        {"return", ScanCodes::none, Qt::Key_Return, {}, 0, keycode::enter},
        {"keypad enter", ScanCodes::none, Qt::Key_Enter, Qt::KeypadModifier, 0,
         keycode::keypadEnter},
        {"backspace", ScanCodes::none, Qt::Key_Backspace, {}, 0, keycode::backspace},
        {"forward delete", ScanCodes::none, Qt::Key_Delete, {}, 0, keycode::forwardDelete},
        {"tab", ScanCodes::none, Qt::Key_Tab, {}, 0, keycode::tab},
        {"shift-tab", ScanCodes::none, Qt::Key_Backtab, Qt::ShiftModifier, 0, keycode::tab},
        {"escape", ScanCodes::none, Qt::Key_Escape, {}, 0, keycode::escape},
        {"shift", ScanCodes::none, Qt::Key_Shift, {}, 0, keycode::leftShift},
        {"super", ScanCodes::none, Qt::Key_Super_L, {}, 0, keycode::leftMeta},
        {"other key", ScanCodes::none, Qt::Key_F5, {}, 0, 0x10000 + (Qt::Key_F5 & 0x1ffffff)},
    };
    for (const auto& c : cases) {
        const QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers, c.scanCode, 0, 0);
        EXPECT_EQ(inputCode(event, c.scanCodes), c.code) << c.what;
    }
    // A key without a Linux code never takes the code of one that sounds differently.
    const QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, {});
    EXPECT_GT(inputCode(f5, ScanCodes::none), 0x2ff);
}

TEST(LocalKeyEvent, PlatformsWithX11Keycodes) {
    EXPECT_EQ(scanCodesOf(QStringLiteral("xcb")), ScanCodes::x11);
    EXPECT_EQ(scanCodesOf(QStringLiteral("wayland")), ScanCodes::x11);
    EXPECT_EQ(scanCodesOf(QStringLiteral("wayland-egl")), ScanCodes::x11);
    EXPECT_EQ(scanCodesOf(QStringLiteral("offscreen")), ScanCodes::none);
    EXPECT_EQ(scanCodesOf(QStringLiteral("minimal")), ScanCodes::none);
}

TEST(LocalKeyEvent, TimeStampsAreMillisecondsOfTheUptimeClockIn32Bits) {
    const double wrap = 4294967.296;  // 2^32 milliseconds in seconds
    const struct {
        const char* what;
        std::uint64_t stamp;
        double now;
        double expected;
    } cases[] = {
        {"a quarter second ago", 99'750, 100.0, 99.75},
        {"just now", 100'000, 100.0, 100.0},
        {"a moment ahead (a coarser clock)", 100'004, 100.0, 100.004},
        {"across the 32-bit wrap", 4'294'967'000, wrap + 0.5, wrap + 0.5 - 0.796},
        {"stamped after the wrap", 200, wrap + 0.5, wrap + 0.2},
        {"no stamp", 0, 100.0, 100.0},
        {"another clock entirely", 1'700'000'000'000, 100.0, 100.0},
        {"a minute old", 40'000, 100.0, 100.0},
        {"far ahead", 105'000, 100.0, 100.0},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(eventUptime(c.stamp, c.now), c.expected, 0.0011) << c.what;
    }
}

TEST(LocalKeyEvent, CarriesDirectionRepeatAndCommandModifiers) {
    const struct {
        QEvent::Type type;
        Qt::KeyboardModifiers modifiers;
        bool autoRepeat;
        bool isDown;
        bool withCommand;
    } cases[] = {
        {QEvent::KeyPress, {}, false, true, false},
        {QEvent::KeyRelease, {}, false, false, false},
        {QEvent::KeyPress, {}, true, true, false},
        {QEvent::KeyPress, Qt::ShiftModifier, false, true, false},
        {QEvent::KeyPress, Qt::KeypadModifier, false, true, false},
        {QEvent::KeyPress, Qt::ControlModifier, false, true, true},
        {QEvent::KeyPress, Qt::AltModifier, false, true, true},
        {QEvent::KeyRelease, Qt::MetaModifier, false, false, true},
        {QEvent::KeyPress, Qt::GroupSwitchModifier, false, true, false},  // AltGr
    };
    for (const auto& c : cases) {
        QKeyEvent event(c.type, Qt::Key_A, c.modifiers, 38, 0, 0, QString(), c.autoRepeat);
        event.setTimestamp(99'500);
        const auto key = localKey(event, ScanCodes::x11, 100.0);
        EXPECT_EQ(key.code, keycode::a);
        EXPECT_EQ(key.isDown, c.isDown);
        EXPECT_EQ(key.isAutoRepeat, c.autoRepeat);
        EXPECT_EQ(key.withCommandModifier, c.withCommand) << c.modifiers.toInt();
        EXPECT_DOUBLE_EQ(key.timestamp, 99.5);
    }
}

}  // namespace
}  // namespace tapwell::ui

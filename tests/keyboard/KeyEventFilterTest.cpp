#include <gtest/gtest.h>

#include "keyboard/KeyCodes.h"
#include "keyboard/KeyEventFilter.h"

namespace tapwell {
namespace {

using Accepted = KeyEventFilter::Accepted;

TEST(KeyEventFilter, PressAndReleaseGiveOneOfEachWithTheKindOfTheKey) {
    KeyEventFilter filter;
    EXPECT_EQ(filter.accept(true, keycode::a, false), (Accepted{KeyKind::normal, true}));
    EXPECT_EQ(filter.accept(false, keycode::a, false), (Accepted{KeyKind::normal, false}));
    EXPECT_EQ(filter.accept(true, keycode::space, false), (Accepted{KeyKind::space, true}));
    EXPECT_EQ(filter.accept(false, keycode::space, false), (Accepted{KeyKind::space, false}));
    EXPECT_EQ(filter.pressedCount(), 0u);
}

TEST(KeyEventFilter, AutoRepeatsAreDropped) {
    KeyEventFilter filter;
    EXPECT_TRUE(filter.accept(true, keycode::a, false));
    EXPECT_FALSE(filter.accept(true, keycode::a, true));
    EXPECT_FALSE(filter.accept(true, keycode::a, true));
    EXPECT_TRUE(filter.accept(false, keycode::a, false));
}

TEST(KeyEventFilter, SecondPressWithoutReleaseIsARepeat) {
    KeyEventFilter filter;
    EXPECT_TRUE(filter.accept(true, keycode::a, false));
    EXPECT_FALSE(filter.accept(true, keycode::a, false));
    EXPECT_TRUE(filter.accept(false, keycode::a, false));
    EXPECT_FALSE(filter.accept(false, keycode::a, false));  // a stray release
}

TEST(KeyEventFilter, ModifiersNeverPass) {
    KeyEventFilter filter;
    for (std::int64_t code : keycode::modifiers) {
        EXPECT_FALSE(filter.accept(true, code, false)) << code;
        EXPECT_FALSE(filter.accept(false, code, false)) << code;
    }
    EXPECT_EQ(filter.pressedCount(), 0u);
}

TEST(KeyEventFilter, ResetForgetsHeldKeys) {
    KeyEventFilter filter;
    EXPECT_TRUE(filter.accept(true, keycode::a, false));
    filter.reset();
    EXPECT_FALSE(filter.accept(false, keycode::a, false));
    EXPECT_TRUE(filter.accept(true, keycode::a, false));
}

TEST(KeyEventFilter, InterleavedKeysAreTrackedSeparately) {
    KeyEventFilter filter;
    EXPECT_TRUE(filter.accept(true, keycode::a, false));
    EXPECT_TRUE(filter.accept(true, keycode::k, false));
    EXPECT_TRUE(filter.accept(false, keycode::a, false));
    EXPECT_FALSE(filter.accept(true, keycode::k, false));  // still held
    EXPECT_TRUE(filter.accept(false, keycode::k, false));
}

TEST(KeyEventFilter, ClassifiesSpecialKeys) {
    EXPECT_EQ(classify(keycode::enter), KeyKind::enter);
    EXPECT_EQ(classify(keycode::keypadEnter), KeyKind::enter);
    EXPECT_EQ(classify(keycode::space), KeyKind::space);
    EXPECT_EQ(classify(keycode::backspace), KeyKind::delete_);
    EXPECT_EQ(classify(keycode::forwardDelete), KeyKind::delete_);
    EXPECT_EQ(classify(keycode::tab), KeyKind::normal);
    EXPECT_EQ(classify(keycode::escape), KeyKind::normal);
    EXPECT_EQ(classify(-1), KeyKind::normal);
}

}  // namespace
}  // namespace tapwell

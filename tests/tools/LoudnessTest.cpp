#include "themegen/Loudness.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tapwell::themegen {
namespace {

Buffer sine(double hz, double seconds, double amplitude) {
    Buffer out(frames(seconds));
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<float>(
            amplitude * std::sin(2.0 * kPi * hz * static_cast<double>(i) / kSampleRate));
    }
    return out;
}

TEST(Loudness, FullScaleSineAtOneKilohertzReadsMinusThree) {
    EXPECT_NEAR(loudnessLufs(sine(997, 2.0, 1.0)), -3.01, 0.1);
}

TEST(Loudness, ScalesWithLevelAndIsMinusInfinityForSilence) {
    const double a = loudnessLufs(sine(500, 1.0, 0.25));
    const double b = loudnessLufs(sine(500, 1.0, 0.5));
    EXPECT_NEAR(b - a, 6.02, 0.05);
    EXPECT_TRUE(std::isinf(loudnessLufs(Buffer(1000, 0.0f))));
    EXPECT_TRUE(std::isinf(loudnessLufs(Buffer())));
}

TEST(Loudness, WeightsBassBelowPresence) {
    EXPECT_LT(loudnessLufs(sine(40, 1.0, 0.5)), loudnessLufs(sine(3000, 1.0, 0.5)) - 3.0);
}

TEST(TypingPassage, HasEveryKindOfKeyAndPairsEachPressWithARelease) {
    int downs = 0, ups = 0, spaces = 0, enters = 0, backspaces = 0;
    double last = 0;
    for (const PassageEvent& e : typingPassage()) {
        EXPECT_GE(e.atS, last);
        last = e.atS;
        (e.down ? downs : ups)++;
        if (e.down) {
            spaces += e.key == PassageKey::space;
            enters += e.key == PassageKey::enter;
            backspaces += e.key == PassageKey::backspace;
        }
    }
    EXPECT_EQ(downs, ups);
    EXPECT_GT(downs, 60);
    EXPECT_GT(spaces, 5);
    EXPECT_EQ(enters, 2);
    EXPECT_EQ(backspaces, 2);
}

}  // namespace
}  // namespace tapwell::themegen

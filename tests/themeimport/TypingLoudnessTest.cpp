#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "themeimport/TypingLoudness.h"

namespace tapwell {
namespace {

std::vector<float> sine(double hz, double amplitude, std::size_t frames) {
    std::vector<float> samples(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        samples[i] =
            static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * hz * i / 48000.0));
    }
    return samples;
}

TEST(TypingLoudness, KWeightingReadsTheReferenceToneAndScalesWithLevel) {
    // A full-scale 1 kHz sine reads about -3 LUFS; half the amplitude 6 dB less.
    EXPECT_NEAR(kWeightedLoudness(sine(1000, 1.0, 48000)), -3.0, 0.1);
    EXPECT_NEAR(kWeightedLoudness(sine(1000, 0.5, 48000)),
                kWeightedLoudness(sine(1000, 1.0, 48000)) - 6.02, 0.01);
    // Bass counts less than presence.
    EXPECT_LT(kWeightedLoudness(sine(40, 1.0, 48000)), kWeightedLoudness(sine(3000, 1.0, 48000)));
    EXPECT_TRUE(std::isinf(kWeightedLoudness(std::vector<float>(100, 0.0f))));
    EXPECT_TRUE(std::isinf(kWeightedLoudness({})));
}

}  // namespace
}  // namespace tapwell

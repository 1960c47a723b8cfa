#include "themegen/Dsp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "themegen/ThemeCheck.h"

namespace tapwell::themegen {
namespace {

Buffer sine(double hz, double seconds, double amplitude = 0.5) {
    Buffer out(frames(seconds));
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<float>(
            amplitude * std::sin(2.0 * kPi * hz * static_cast<double>(i) / kSampleRate));
    }
    return out;
}

// A textured signal like an ambience bed: filtered noise with a slow swell.
Buffer texture(Rng& rng, double seconds) {
    Buffer noise = pinkNoise(rng, frames(seconds));
    Biquad lp = Biquad::lowPass(3000);
    lp.processInPlace(noise);
    Buffer tone = sine(220.0, seconds, 0.2);
    addInto(noise, 0, tone, 1.0);
    return noise;
}

TEST(Rng, SameSeedGivesTheSameSequence) {
    Rng a(42), b(42), c(43);
    bool differs = false;
    for (int i = 0; i < 1000; ++i) {
        const auto x = a.next();
        EXPECT_EQ(x, b.next());
        differs = differs || x != c.next();
    }
    EXPECT_TRUE(differs);
}

TEST(Rng, UniformStaysInItsRangeAndCoversIt) {
    Rng rng(7);
    double lo = 1, hi = 0;
    for (int i = 0; i < 100000; ++i) {
        const double u = rng.uniform();
        ASSERT_GE(u, 0.0);
        ASSERT_LT(u, 1.0);
        lo = std::min(lo, u);
        hi = std::max(hi, u);
    }
    EXPECT_LT(lo, 0.001);
    EXPECT_GT(hi, 0.999);
    for (int i = 0; i < 1000; ++i) {
        const int k = rng.integer(3, 5);
        ASSERT_GE(k, 3);
        ASSERT_LE(k, 5);
    }
}

TEST(Rng, FileSeedsDependOnThemeAndName) {
    EXPECT_EQ(seedFor(1, "down-01.wav"), seedFor(1, "down-01.wav"));
    EXPECT_NE(seedFor(1, "down-01.wav"), seedFor(1, "down-02.wav"));
    EXPECT_NE(seedFor(1, "down-01.wav"), seedFor(2, "down-01.wav"));
}

TEST(Fades, FirstAndLastFrameAreExactlyZeroEvenForShortBuffersAndTheMiddleIsUntouched) {
    Buffer b(1000, 0.8f);
    fadeEdges(b, 12, 100);
    EXPECT_EQ(b.front(), 0.0f);
    EXPECT_EQ(b.back(), 0.0f);
    EXPECT_FLOAT_EQ(b[500], 0.8f);
    EXPECT_LT(b[6], 0.8f);
    EXPECT_GT(b[6], 0.0f);
    // Monotonic ramps, no overshoot.
    for (std::size_t i = 1; i < 12; ++i) {
        EXPECT_GE(b[i], b[i - 1]);
    }
    // Fades longer than the buffer still end at zero.
    Buffer shortOne(5, 1.0f);
    fadeEdges(shortOne, 50, 50);
    EXPECT_EQ(shortOne.front(), 0.0f);
    EXPECT_EQ(shortOne.back(), 0.0f);
    Buffer empty;
    fadeEdges(empty, 4, 4);
    EXPECT_TRUE(empty.empty());
}

TEST(Normalisation, PutsThePeakExactlyAtTheTargetAndLeavesSilenceSilent) {
    Buffer b = sine(440, 0.1, 0.13);
    b[100] = -0.4f;  // the peak may be negative
    normalizePeak(b, -3.0);
    EXPECT_NEAR(gainToDb(peakOf(b)), -3.0, 1e-4);
    EXPECT_NEAR(b[100], -dbToGain(-3.0), 1e-6);
    Buffer silence(100, 0.0f);
    normalizePeak(silence, -3.0);
    EXPECT_EQ(silence, Buffer(100, 0.0f)) << "silence stays silent";
}

TEST(TrimTail, CutsAfterTheSoundDiesButKeepsTheMinimumAndMaximum) {
    Buffer b(frames(0.5), 0.0f);
    addTone(b, 0, {1000, 1000, 1, 1, 5, 100, 1.0});  // about 40 ms above -62 dB
    Buffer shortOne = b;
    trimTail(shortOne, 45.0, 250.0, -62.0, 10.0);
    EXPECT_GE(shortOne.size(), frames(0.045));
    EXPECT_LT(shortOne.size(), frames(0.1));
    EXPECT_EQ(shortOne.back(), 0.0f);

    Buffer noise(frames(0.5), 0.5f);  // never decays: the maximum applies
    trimTail(noise, 45.0, 250.0, -62.0, 10.0);
    EXPECT_EQ(noise.size(), frames(0.25));
    EXPECT_EQ(noise.back(), 0.0f);
}

TEST(Resonator, RingsAtItsGainAndDecaysSixtyDecibelsInT60) {
    Resonator r({1000.0, 0.1, 0.5});
    Buffer out(frames(0.2));
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = r.process(i == 0 ? 1.0f : 0.0f);
    }
    auto peakAround = [&](double t) {
        const std::size_t at = frames(t);
        double p = 0;
        for (std::size_t i = at; i < at + 48; ++i) {
            p = std::max(p, static_cast<double>(std::fabs(out[i])));
        }
        return p;
    };
    EXPECT_NEAR(peakAround(0.0), 0.5, 0.02);
    EXPECT_NEAR(gainToDb(peakAround(0.1) / peakAround(0.0)), -60.0, 1.0);
}

TEST(Biquad, LowPassKeepsTheBassAndCutsTheTreble) {
    Buffer low = sine(100, 0.2), high = sine(10000, 0.2);
    Biquad a = Biquad::lowPass(1000), b = Biquad::lowPass(1000);
    a.processInPlace(low);
    b.processInPlace(high);
    EXPECT_NEAR(gainToDb(rmsOf(low) / rmsOf(sine(100, 0.2))), 0.0, 0.5);
    EXPECT_LT(gainToDb(rmsOf(high) / rmsOf(sine(10000, 0.2))), -30.0);
}

TEST(Mallet, HasUnitAreaWhateverItsWidth) {
    for (const double ms : {0.05, 0.3, 2.0}) {
        double sum = 0;
        for (const float v : malletPulse(ms)) {
            sum += v;
        }
        EXPECT_NEAR(sum, 1.0, 1e-5) << ms;
    }
}

TEST(Loop, SeamIsContinuousAfterCrossfadeAndZeroCrossingCut) {
    Rng rng(11);
    const Buffer source = texture(rng, 6.5);
    Buffer loop = makeLoop(source, frames(6.0), frames(0.5));
    ASSERT_EQ(loop.size(), frames(6.0));
    rotateToZeroCrossing(loop);
    EXPECT_EQ(loop.front(), 0.0f);
    EXPECT_EQ(loop.back(), 0.0f);
    EXPECT_TRUE(seamProblems(loop).empty()) << seamProblems(loop).front();
}

TEST(Loop, KeepsTheSourceOutsideTheCrossfade) {
    Rng rng(12);
    const Buffer source = texture(rng, 3.0);
    const Buffer loop = makeLoop(source, frames(2.5), frames(0.5));
    for (std::size_t i = frames(0.5); i < loop.size(); i += 997) {
        ASSERT_EQ(loop[i], source[i]);
    }
}

TEST(Loop, APlainCutIsCaughtAsASeam) {
    // A tone cut mid-cycle jumps at the loop point...
    Buffer cut = sine(233.3, 1.0, 0.5);
    cut.resize(cut.size() - 37);
    EXPECT_FALSE(seamProblems(cut).empty());
    // ...and a texture that swells towards its end changes level across it.
    Rng rng(13);
    Buffer swell = texture(rng, 2.0);
    for (std::size_t i = 0; i < swell.size(); ++i) {
        swell[i] = static_cast<float>(swell[i] * (0.1 + static_cast<double>(i) / swell.size()));
    }
    swell.front() = 0.0f;
    swell.back() = 0.0f;
    const auto problems = seamProblems(swell);
    EXPECT_NE(
        std::find_if(problems.begin(), problems.end(),
                     [](const std::string& p) { return p.find("level") != std::string::npos; }),
        problems.end());
}

TEST(Noise, PinkNoiseFallsTowardsTheTreble) {
    Rng rng(5);
    const Buffer pink = pinkNoise(rng, frames(2.0));
    Buffer low = pink, high = pink;
    Biquad band1 = Biquad::bandPass(200, 1.4), band2 = Biquad::bandPass(6400, 1.4);
    band1.processInPlace(low);
    band2.processInPlace(high);
    // Five octaves apart, at about 3 dB per octave (each band's width grows with its centre).
    const double drop = gainToDb(rmsOf(low)) - gainToDb(rmsOf(high));
    EXPECT_GT(drop, -3.0);
    EXPECT_LT(drop, 3.0);
    const double whiteDrop = [&] {
        Rng r2(5);
        Buffer w = whiteNoise(r2, frames(2.0));
        Buffer l = w, h = w;
        Biquad b1 = Biquad::bandPass(200, 1.4), b2 = Biquad::bandPass(6400, 1.4);
        b1.processInPlace(l);
        b2.processInPlace(h);
        return gainToDb(rmsOf(l)) - gainToDb(rmsOf(h));
    }();
    EXPECT_GT(drop, whiteDrop + 10.0);
}

}  // namespace
}  // namespace tapwell::themegen

#include "themegen/PassagePlayback.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>

#include "themegen/Loudness.h"

namespace tapwell::themegen {
namespace {

// A theme whose every sample is one frame of its own level, so the mix shows which sample each
// event played, and exactly when.
// A level as the program holds it: the nearest 16-bit sample.
float held(float level) {
    return PcmBuffer::toFloat(PcmBuffer::quantize(level));
}

PreparedTheme impulses(const std::map<std::string, float>& levels, float keyUpRelativeDb) {
    PreparedTheme prepared;
    Theme::Sounds& sounds = prepared.theme.sounds;
    sounds.keyDown = {"down-a", "down-b"};
    sounds.keyUp = {"up"};
    sounds.space = "space";
    sounds.enter = "return";
    sounds.backspace = "backspace";
    prepared.theme.mix.keyUpRelativeDb = keyUpRelativeDb;
    for (const auto& [name, level] : levels) {
        prepared.buffers[name] =
            std::make_shared<const PcmBuffer>(PcmBuffer{{PcmBuffer::quantize(level)}});
    }
    return prepared;
}

TEST(PassagePlayback, EveryEventPlaysItsKeysSampleAtItsOwnFrame) {
    const PreparedTheme theme = impulses({{"down-a", 0.10f},
                                          {"down-b", 0.11f},
                                          {"up", 0.05f},
                                          {"space", 0.20f},
                                          {"return", 0.30f},
                                          {"backspace", 0.40f}},
                                         -6.0f);
    const auto mix = playTypingPassage(theme);
    ASSERT_TRUE(mix.has_value()) << mix.error();
    const float up = held(0.05f) * std::pow(10.0f, -6.0f / 20.0f);
    std::size_t downs = 0, sounding = 0;
    for (const PassageEvent& e : typingPassage()) {
        float expected = up;
        if (e.down) {
            switch (e.key) {
                case PassageKey::normal:
                    expected = held(downs++ % 2 == 0 ? 0.10f : 0.11f);  // the pool in turn
                    break;
                case PassageKey::space:
                    expected = held(0.20f);
                    break;
                case PassageKey::enter:
                    expected = held(0.30f);
                    break;
                case PassageKey::backspace:
                    expected = held(0.40f);
                    break;
            }
        }
        ASSERT_LT(frames(e.atS), mix->size());
        EXPECT_FLOAT_EQ((*mix)[frames(e.atS)], expected) << "event at " << e.atS << " s";
    }
    for (const float s : *mix) {
        sounding += s != 0.0f;
    }
    EXPECT_EQ(sounding, typingPassage().size());
    EXPECT_EQ(mix->size(), frames(typingPassage().back().atS + 0.5));
}

TEST(PassagePlayback, MissingSamplesStaySilent) {
    // No key-up pool and a theme without buffers: nothing plays, nothing fails.
    PreparedTheme theme = impulses({{"down-a", 0.1f}, {"down-b", 0.1f}}, 0.0f);
    theme.theme.sounds.keyUp.clear();
    auto mix = playTypingPassage(theme);
    ASSERT_TRUE(mix.has_value());
    EXPECT_FALSE(std::isinf(loudnessLufs(*mix)));
    mix = playTypingPassage(impulses({}, 0.0f));
    ASSERT_TRUE(mix.has_value());
    EXPECT_TRUE(std::isinf(loudnessLufs(*mix)));
}

}  // namespace
}  // namespace tapwell::themegen

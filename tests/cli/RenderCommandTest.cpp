#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "CliRun.h"
#include "cli/Cli.h"
#include "core/ResourceLocator.h"
#include "sound/AudioDecoder.h"
#include "sound/PcmBuffer.h"
#include "sound/WavFileWriter.h"
#include "support/TempDir.h"
#include "themes/ThemeFixture.h"
#include "themes/ThemeManager.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;

using Outcome = test::CliResult;

Outcome runRender(std::vector<std::string> args) {
    args.insert(args.begin(), "render");
    return test::runCli(args);
}

// Every sample of the fixture theme becomes a short block at a level of its own.
constexpr std::size_t sampleFrames = 100;
const std::map<std::string, float> levels{
    {"down1.wav", 0.10f}, {"down2.wav", 0.11f},  {"down3.wav", 0.12f},     {"down4.wav", 0.13f},
    {"down5.wav", 0.14f}, {"down6.wav", 0.15f},  {"up1.wav", 0.30f},       {"up2.wav", 0.31f},
    {"space.wav", 0.40f}, {"return.wav", 0.41f}, {"backspace.wav", 0.42f}, {"rankup.wav", 0.50f},
    {"caps.wav", 0.51f},
};

class RenderCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path folder =
            test::writeTheme(resources.path(), "glass", test::validManifest("glass"));
        for (const auto& [name, level] : levels) {
            auto writer = WavFileWriter::create(folder / name);
            ASSERT_TRUE(writer.has_value());
            std::vector<float> samples(sampleFrames, level);
            ASSERT_TRUE((*writer)->write(samples.data(), samples.size()).has_value());
        }
    }

    std::vector<float> rendered(const fs::path& file) {
        auto buffer = decodeAudioSamples(file);
        EXPECT_TRUE(buffer.has_value());
        return buffer ? *buffer : std::vector<float>{};
    }

    std::vector<std::string> args(const std::string& text, const fs::path& out) {
        return {"--theme", "glass", "--text",     text,          "--wpm",
                "60",      "--out", out.string(), "--resources", resources.path().string()};
    }

    test::TempDir resources;
    test::TempDir outputs;
};

// A fixture level as the program holds it: the nearest 16-bit sample.
float held(float level) {
    return PcmBuffer::toFloat(PcmBuffer::quantize(level));
}

// Typing volume 0.7 and the fixture's typing gain of -3.5 dB; key ups 6 dB lower.
const float typingBus = 0.7f * std::pow(10.0f, -3.5f / 20.0f);
const float keyUpGain = std::pow(10.0f, -6.0f / 20.0f);

TEST_F(RenderCommandTest, TypesEachCharacterAsAKeyDownAndKeyUpAtTheGivenSpeed) {
    const fs::path out = outputs / "a.wav";
    Outcome outcome = runRender(args("ab c\\n\\bd", out));
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("Wrote"), std::string::npos);
    const auto samples = rendered(out);
    // 60 words per minute is 5 keys per second: a key every 0.2 s from 0.1 s, held 0.08 s.
    auto downAt = [](int key) { return static_cast<std::size_t>(4800 + key * 9600); };
    auto upAt = [&](int key) { return downAt(key) + 3840; };
    EXPECT_EQ(samples[downAt(0) - 1], 0.0f);
    EXPECT_FLOAT_EQ(samples[downAt(0)], held(0.10f) * typingBus);
    EXPECT_FLOAT_EQ(samples[downAt(0) + sampleFrames - 1], held(0.10f) * typingBus);
    EXPECT_EQ(samples[downAt(0) + sampleFrames], 0.0f);
    EXPECT_FLOAT_EQ(samples[upAt(0)], held(0.30f) * keyUpGain * typingBus);
    EXPECT_FLOAT_EQ(samples[downAt(1)], held(0.11f) * typingBus);
    EXPECT_FLOAT_EQ(samples[upAt(1)], held(0.31f) * keyUpGain * typingBus);
    EXPECT_FLOAT_EQ(samples[downAt(2)], held(0.40f) * typingBus);  // space
    EXPECT_FLOAT_EQ(samples[upAt(2)], held(0.30f) * keyUpGain * typingBus);
    EXPECT_FLOAT_EQ(samples[downAt(3)], held(0.12f) * typingBus);  // c
    EXPECT_FLOAT_EQ(samples[downAt(4)], held(0.41f) * typingBus);  // \n is return
    EXPECT_FLOAT_EQ(samples[downAt(5)], held(0.42f) * typingBus);  // \b is backspace
    EXPECT_FLOAT_EQ(samples[downAt(6)], held(0.13f) * typingBus);  // d
    EXPECT_LT(samples.size(), downAt(8));                          // ends soon after the last sound
}

TEST_F(RenderCommandTest, PlaysTheAlertAfterTheTextAndIsDeterministic) {
    const fs::path first = outputs / "first.wav";
    auto withAlert = args("hi", first);
    withAlert.insert(withAlert.end(), {"--alert", "rankUp"});
    ASSERT_EQ(runRender(withAlert).status, 0);
    const auto samples = rendered(first);
    // The last key goes down at 0.3 s; the alert follows 0.08 s + 0.3 s later.
    const std::size_t alertAt = 14400 + 3840 + 14400;
    EXPECT_EQ(samples[alertAt - 1], 0.0f);
    EXPECT_FLOAT_EQ(samples[alertAt], held(0.50f) * 0.85f);

    const fs::path second = outputs / "second.wav";
    withAlert[7] = second.string();
    ASSERT_EQ(runRender(withAlert).status, 0);
    EXPECT_EQ(rendered(second), samples);
}

TEST_F(RenderCommandTest, RefusesAnUnknownThemeAlertOrMissingAmbience) {
    auto unknownTheme = args("a", outputs / "x.wav");
    unknownTheme[1] = "nope";
    Outcome outcome = runRender(unknownTheme);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("nope"), std::string::npos);

    auto unknownAlert = args("a", outputs / "y.wav");
    unknownAlert.insert(unknownAlert.end(), {"--alert", "downloadDone"});
    outcome = runRender(unknownAlert);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("rankUp"), std::string::npos) << outcome.err;

    auto ambience = args("a", outputs / "z.wav");
    ambience.insert(ambience.end(), {"--ambience", "2"});
    EXPECT_EQ(runRender(ambience).status, 1);

    auto unwritable = args("a", outputs / "missing-folder" / "a.wav");
    outcome = runRender(unwritable);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("cannot write"), std::string::npos);

    auto slow = args("a", outputs / "w.wav");
    slow[5] = "0";
    EXPECT_NE(runRender(slow).status, 0);
}

// Regressions: `--wpm nan` passed the range check; a render of days of audio wrote until the disk
// was full and left the partial file; a theme whose sample the engine could not play failed with
// "defaultThemeUnavailable" without naming the file.
TEST_F(RenderCommandTest, RefusesBadSpeedsAndOverlongRendersBeforeWritingAnything) {
    const fs::path out = outputs / "x.wav";
    struct Case {
        std::string wpm;
        std::string text;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"nan", "a", "--wpm"},
        {"inf", "a", "--wpm"},
        {"1", std::string(100000, 'a'), "at most 60 minutes can be rendered"},
        {"60", std::string(18001, 'a'), "at most 60 minutes can be rendered"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wpm);
        auto arguments = args(c.text, out);
        arguments[5] = c.wpm;
        Outcome outcome = runRender(arguments);
        EXPECT_NE(outcome.status, 0);
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
        EXPECT_TRUE(fs::is_empty(outputs.path()));
    }
    auto ambience = args("a", out);
    ambience.insert(ambience.end(), {"--ambience", "nan"});
    EXPECT_NE(runRender(ambience).status, 0);
}

TEST_F(RenderCommandTest, FailedRenderLeavesNoPartialFileAndKeepsTheOldOne) {
    const fs::path out = outputs / "keep.wav";
    test::writeBytes(out, "old");
    test::writeBytes(resources / "glass" / "space.wav", test::wavBytes(16, 48000, 65535));
    Outcome outcome = runRender(args("a b", out));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("space.wav"), std::string::npos) << outcome.err;
    EXPECT_EQ(outputs.read("keep.wav"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(outputs.path()), fs::directory_iterator()), 1);

    // A render that succeeds replaces the file in one step.
    test::writeTheme(resources.path(), "glass", test::validManifest("glass"));
    SetUp();
    ASSERT_EQ(runRender(args("a", out)).status, 0);
    EXPECT_FALSE(rendered(out).empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(outputs.path()), fs::directory_iterator()), 1);
}

// Every built-in theme of the build's resource folder is audible and never clips, with typing,
// an alert and the ambience loop sounding together.
TEST(RenderCommand, EveryBuiltInThemeIsAudibleAndUnclipped) {
    const auto resources = ResourceLocator::find();
    if (!resources) {
        GTEST_SKIP() << "no resource folder with built-in themes";
    }
    auto catalogue = ThemeManager::create(*resources);
    ASSERT_TRUE(catalogue.has_value());
    test::TempDir outputs;
    int rendered = 0;
    for (const ThemeEntry& entry : catalogue->entries) {
        if (!entry.loaded) {
            continue;
        }
        const Theme& theme = entry.loaded->theme;
        const fs::path out = outputs / (theme.id + ".wav");
        std::vector<std::string> args{"--theme", theme.id,     "--text",      "Hello world\nok\b!",
                                      "--wpm",   "120",        "--alert",     "rankUp",
                                      "--out",   out.string(), "--resources", resources->string()};
        if (theme.sounds.ambience) {
            args.insert(args.end(), {"--ambience", "2"});
        }
        Outcome outcome = runRender(args);
        ASSERT_EQ(outcome.status, 0) << theme.id << ": " << outcome.err;
        auto decoded = decodeAudioSamples(out);
        ASSERT_TRUE(decoded.has_value()) << theme.id;
        float peak = 0.0f;
        for (float sample : *decoded) {
            peak = std::max(peak, std::fabs(sample));
        }
        EXPECT_GT(peak, 0.05f) << theme.id;
        EXPECT_LE(peak, 1.0f) << theme.id;
        ++rendered;
    }
    if (rendered == 0) {
        GTEST_SKIP() << "no usable built-in theme in " << resources->string();
    }
}

}  // namespace
}  // namespace tapwell

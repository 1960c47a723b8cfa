#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <fstream>

#include "SoundTestSupport.h"
#include "sound/AudioDecoder.h"
#include "sound/PreparedTheme.h"
#include "sound/Resampler.h"
#include "sound/SoxrResampler.h"
#include "support/TempDir.h"
#include "themes/ThemeFixture.h"
#include "themes/ThemeManager.h"

namespace tapwell {
namespace {

using test::TempDir;

TEST(AudioDecoder, ConvertsStereoAt44100ToMonoAt48000) {
    TempDir dir;
    const std::size_t frames = 4410;  // 100 ms
    std::vector<float> stereo;
    for (std::size_t i = 0; i < frames; ++i) {
        stereo.push_back(0.2f);
        stereo.push_back(0.6f);
    }
    test::writeSoundFile(dir / "s.wav", stereo, 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    auto buffer = decodeAudioFile(dir / "s.wav");
    ASSERT_TRUE(buffer.has_value());
    // About frames × 48000 / 44100 = 4800 frames.
    EXPECT_NEAR(static_cast<double>((*buffer)->frameLength()), 4800.0, 64.0);
    // The channels are averaged; the middle of the block is away from the filter's edges.
    EXPECT_NEAR(PcmBuffer::toFloat((*buffer)->samples[2400]), 0.4f, 0.01f);
}

// The program loads the converter on the first file that needs it; when it cannot, only files of
// another rate fail, with the loader's error naming the library.
TEST(AudioDecoder, WithoutTheConverterOnlyFilesOfAnotherRateFail) {
    TempDir dir;
    test::writeSoundFile(dir / "44.wav", std::vector<float>(441, 0.25f), 44100, 1,
                         SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    test::writeSoundFile(dir / "48.wav", std::vector<float>(480, 0.25f), 48000, 1,
                         SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    struct Restore {
        ~Restore() { Resampler::use(&SoxrResampler::convert); }
    } restore;
    const Resampler::Function failingLoader = [](std::span<const float>, double fromRate, double,
                                                 std::span<float>) {
        return std::expected<std::size_t, Error>(std::unexpected(
            Resampler::unavailable(fromRate, "libsoxr.so.0: cannot open shared object file")));
    };
    struct Case {
        const char* what;
        Resampler::Function converter;
        const char* reason;
    };
    for (const Case& c : {Case{"a loader that fails", failingLoader, "cannot open shared object"},
                          Case{"none installed", nullptr, "none is installed"}}) {
        SCOPED_TRACE(c.what);
        Resampler::use(c.converter);
        auto refused = decodeAudioFile(dir / "44.wav");
        ASSERT_FALSE(refused.has_value());
        const auto* error = std::get_if<Error>(&refused.error());
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->domain, "audio");
        EXPECT_EQ(error->code, Resampler::noConverterCode);
        for (const char* part : {"44100 Hz", "libsoxr", c.reason}) {
            EXPECT_NE(error->description.find(part), std::string::npos) << error->description;
        }
        auto played = decodeAudioFile(dir / "48.wav");
        ASSERT_TRUE(played.has_value());
        EXPECT_EQ((*played)->frameLength(), 480u);
    }
}

TEST(AudioDecoder, ReturnsFileInTargetFormatUnchanged) {
    TempDir dir;
    std::vector<float> samples;
    for (int i = 0; i < 1000; ++i) {
        samples.push_back(std::sin(static_cast<float>(i) * 0.05f) * 0.5f);
    }
    test::writeSoundFile(dir / "m.wav", samples, 48000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    auto floats = decodeAudioSamples(dir / "m.wav");
    ASSERT_TRUE(floats.has_value());
    EXPECT_EQ(*floats, samples);
    // For playing, each sample is the nearest 16-bit value.
    auto buffer = decodeAudioFile(dir / "m.wav");
    ASSERT_TRUE(buffer.has_value());
    ASSERT_EQ((*buffer)->frameLength(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        ASSERT_NEAR(PcmBuffer::toFloat((*buffer)->samples[i]), samples[i], 0.5f / 32768.0f) << i;
    }
}

TEST(PcmBuffer, QuantizesToTheNearest16BitValueAndClips) {
    const std::vector<std::pair<float, PcmBuffer::Sample>> cases{
        {0.0f, 0},
        {0.5f, 16384},
        {-0.5f, -16384},
        {1.0f, 32767},
        {-1.0f, -32768},
        {1.7f, 32767},
        {-3.0f, -32768},
        {0.4f / 32768.0f, 0},
        {0.6f / 32768.0f, 1},
        {-0.6f / 32768.0f, -1},
        {std::nanf(""), 0},
    };
    for (const auto& [sample, expected] : cases) {
        EXPECT_EQ(PcmBuffer::quantize(sample), expected) << sample;
    }
    EXPECT_EQ(PcmBuffer::toFloat(-32768), -1.0f);
    EXPECT_EQ(PcmBuffer::toFloat(16384), 0.5f);
}

TEST(AudioDecoder, AveragesChannelsWithoutResamplingAt48000) {
    TempDir dir;
    test::writeSoundFile(dir / "s.wav", {0.2f, 0.6f, -0.5f, 0.1f}, 48000, 2,
                         SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    auto buffer = decodeAudioFile(dir / "s.wav");
    ASSERT_TRUE(buffer.has_value());
    ASSERT_EQ((*buffer)->frameLength(), 2u);
    EXPECT_NEAR(PcmBuffer::toFloat((*buffer)->samples[0]), 0.4f, 0.5f / 32768.0f);
    EXPECT_NEAR(PcmBuffer::toFloat((*buffer)->samples[1]), -0.2f, 0.5f / 32768.0f);
}

TEST(AudioDecoder, ZeroLengthFileIsInvalidFile) {
    TempDir dir;
    test::writeSoundFile(dir / "empty.wav", {}, 48000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    auto buffer = decodeAudioFile(dir / "empty.wav");
    ASSERT_FALSE(buffer.has_value());
    EXPECT_EQ(buffer.error(), AudioLoadError(AudioError::invalidFile));
}

TEST(AudioDecoder, UnreadableContainerPassesTheDecodersError) {
    TempDir dir;
    dir.write("junk.wav", "this is not audio at all, just some text in a file");
    auto junk = decodeAudioFile(dir / "junk.wav");
    ASSERT_FALSE(junk.has_value());
    const auto* error = std::get_if<Error>(&junk.error());
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->domain, "libsndfile");
    EXPECT_FALSE(error->description.empty());

    auto missing = decodeAudioFile(dir / "absent.wav");
    ASSERT_FALSE(missing.has_value());
    EXPECT_TRUE(std::holds_alternative<Error>(missing.error()));
}

TEST(PreparedTheme, DecodesEachDistinctFileOnceAndSharesIt) {
    TempDir dir;
    LoadedTheme loaded = test::writeTestTheme(dir.path(), {});
    loaded.theme.sounds.keyUp = {"down0.wav", "down0.wav"};  // also named in keyDown
    auto prepared = PreparedTheme::prepare(loaded);
    ASSERT_TRUE(prepared.has_value());
    EXPECT_EQ(prepared->buffers.size(), loaded.theme.sounds.allFiles().size());
    ASSERT_NE(prepared->find("down0.wav"), nullptr);
    EXPECT_EQ(prepared->find("down0.wav")->samples[0], PcmBuffer::quantize(test::keyDownLevel(0)));
    // Two bytes a sample: every theme's key sounds stay decoded.
    EXPECT_EQ(prepared->sampleBytes(), prepared->buffers.size() * 2400 * 2);
}

TEST(PreparedTheme, FirstFailingFileFailsTheWholeTheme) {
    TempDir dir;
    LoadedTheme loaded = test::writeTestTheme(dir.path(), {});
    test::writeSoundFile(loaded.directory / "space.wav", {}, 48000, 1,
                         SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    auto prepared = PreparedTheme::prepare(loaded);
    ASSERT_FALSE(prepared.has_value());
    EXPECT_EQ(prepared.error(), AudioLoadError(AudioError::invalidFile));
}

// Regression: files whose headers the catalogue used to pass while the engine could not prepare
// them (and, for the 1 Hz rate, made the decoder allocate over a gigabyte). The catalogue now
// reads every header: it fails exactly the themes the engine would drop, naming the file.
TEST(PreparedTheme, CatalogueFailsExactlyTheThemesTheEngineCannotPrepare) {
    struct Case {
        const char* what;
        std::string spaceBytes;  // the space bar's file
        const char* reason;      // in the catalogue's failure text; empty when the theme is fine
    };
    const std::vector<Case> cases = {
        {"a valid file", test::wavBytes(4800), ""},
        {"an empty file", "", "cannot be read as audio"},
        {"65535 channels", test::wavBytes(16, 48000, 65535), "\"space.wav\""},
        // libsndfile reads a 7-bit PCM header as 8-bit samples: both accept it.
        {"7-bit samples", test::wavBytes(16, 48000, 1, 7), ""},
        {"a 1 Hz rate", test::wavBytes(6500, 1), "sample rate of 1 Hz"},
        {"10 s for a key", test::wavBytes(480000), "longer than the 5.0 s of a key sound"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        LoadedTheme theme = test::writeTestTheme(dir.path(), {});
        test::writeBytes(theme.directory / "space.wav", c.spaceBytes);

        auto loaded = ThemeManager::load(theme.directory);
        auto prepared = PreparedTheme::prepare(theme);
        EXPECT_EQ(loaded.has_value(), prepared.has_value());
        if (*c.reason == '\0') {
            EXPECT_TRUE(loaded.has_value());
            continue;
        }
        ASSERT_FALSE(loaded.has_value());
        const std::string text = describe(loaded.error());
        EXPECT_NE(text.find("space.wav"), std::string::npos) << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    }
}

TEST(AudioDecoder, RefusesLongerThanTheLimitBeforeDecoding) {
    TempDir dir;
    // The header says 6500 frames at 1 Hz: 6500 s, or 312 million frames at 48 kHz.
    test::writeBytes(dir / "slow.wav", test::wavBytes(6500, 1000));
    auto refused = decodeAudioFile(dir / "slow.wav", 5.0);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error(), AudioLoadError(AudioError::invalidFile));
    EXPECT_TRUE(decodeAudioFile(dir / "slow.wav", 7.0).has_value());
}

}  // namespace
}  // namespace tapwell

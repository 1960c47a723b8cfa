#include "SoundTestSupport.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <fstream>

namespace tapwell::test {

void writeSoundFile(const std::filesystem::path& path, const std::vector<float>& interleaved,
                    int sampleRate, int channels, int format) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    const auto frames =
        static_cast<sf_count_t>(interleaved.size() / static_cast<std::size_t>(channels));
    EXPECT_EQ(sf_writef_float(file, interleaved.data(), frames), frames);
    sf_close(file);
}

void writeLevelWav(const std::filesystem::path& path, float level, std::size_t frames) {
    writeSoundFile(path, std::vector<float>(frames, level), 48000, 1,
                   SF_FORMAT_WAV | SF_FORMAT_FLOAT);
}

LoadedTheme writeTestTheme(const std::filesystem::path& root, const TestThemeOptions& options) {
    const std::filesystem::path folder = root / options.id;
    std::filesystem::create_directories(folder);
    Theme theme;
    theme.schemaVersion = 1;
    theme.id = options.id;
    theme.isDefault = options.isDefault;
    for (const char* language : {"en", "zh-Hans", "ja"}) {
        theme.name[language] = options.id;
        theme.shortName[language] = options.id;
        theme.ranks[language] = {"a", "b", "c", "d", "e", "f"};
    }
    theme.colors = {
        "#112233", "#112233", "#112233", "#112233", {"#112233", "#112233", "#112233", "#112233"}};
    const float offset = options.levelOffset;
    auto add = [&](const std::string& name, float level) {
        writeLevelWav(folder / name, level + offset, options.frames);
        return name;
    };
    for (std::size_t i = 0; i < 6; ++i) {
        theme.sounds.keyDown.push_back(add("down" + std::to_string(i) + ".wav", keyDownLevel(i)));
    }
    for (std::size_t i = 0; i < options.keyUpCount; ++i) {
        theme.sounds.keyUp.push_back(add("up" + std::to_string(i) + ".wav", keyUpLevel(i)));
    }
    theme.sounds.space = add("space.wav", spaceLevel);
    theme.sounds.enter = add("enter.wav", enterLevel);
    theme.sounds.backspace = add("backspace.wav", backspaceLevel);
    theme.sounds.alerts["rankUp"] = add("rankup.wav", rankUpLevel);
    theme.sounds.alerts["capsOn"] = add("capson.wav", capsOnLevel);
    if (options.withAmbience) {
        theme.sounds.ambience = add("ambience.wav", ambienceLevel);
    }
    theme.mix = {options.typingGainDb, options.alertGainDb, options.keyUpRelativeDb};
    std::ofstream(folder / "theme.json") << encodeTheme(theme);
    return LoadedTheme{theme, folder};
}

}  // namespace tapwell::test

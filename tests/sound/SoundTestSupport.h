#pragma once
// Builds tiny sound themes in a temporary folder for the sound tests. Every sample of a test
// theme is a constant level (a "DC" block) with a value of its own, so a rendered frame tells
// which sample sounds and at what gain.

#include <filesystem>
#include <string>
#include <vector>

#include "themes/Theme.h"

namespace tapwell::test {

// Writes a WAV (or other libsndfile format) file; `interleaved` holds frames × channels values.
void writeSoundFile(const std::filesystem::path& path, const std::vector<float>& interleaved,
                    int sampleRate, int channels, int format);
// A mono 48 kHz float WAV of `frames` frames at the constant `level`.
void writeLevelWav(const std::filesystem::path& path, float level, std::size_t frames);

struct TestThemeOptions {
    std::string id = "alpha";
    bool isDefault = false;
    float typingGainDb = 0.0f;
    float alertGainDb = 0.0f;
    float keyUpRelativeDb = -6.0f;
    std::size_t keyUpCount = 3;
    bool withAmbience = true;
    std::size_t frames = 2400;  // 50 ms
    float levelOffset = 0.0f;   // added to every level, to tell themes apart
};

// The constant levels of the test theme's samples.
inline constexpr float keyDownLevel(std::size_t i) {
    return 0.10f + 0.01f * static_cast<float>(i);
}
inline constexpr float keyUpLevel(std::size_t i) {
    return 0.30f + 0.01f * static_cast<float>(i);
}
inline constexpr float spaceLevel = 0.40f;
inline constexpr float enterLevel = 0.41f;
inline constexpr float backspaceLevel = 0.42f;
inline constexpr float rankUpLevel = 0.50f;
inline constexpr float capsOnLevel = 0.51f;
inline constexpr float ambienceLevel = 0.60f;

// Writes the folder `root/<id>` with its manifest and samples and returns it as loaded.
LoadedTheme writeTestTheme(const std::filesystem::path& root, const TestThemeOptions& options);

}  // namespace tapwell::test

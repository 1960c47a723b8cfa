#pragma once
// Builds tiny sound themes in a temporary folder for the sound tests. Every sample of a test
// theme is a constant level (a "DC" block) with a value of its own, so a rendered frame tells
// which sample sounds and at what gain.

#include <filesystem>
#include <string>
#include <vector>

#include "sound/PcmBuffer.h"
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

// A level as the program holds it: the nearest 16-bit sample.
inline float as16Bit(float level) {
    return PcmBuffer::toFloat(PcmBuffer::quantize(level));
}

// The constant levels of the test theme's samples, each a 16-bit value, so that what the mixer
// plays can be compared exactly.
inline float keyDownLevel(std::size_t i) {
    return as16Bit(0.10f + 0.01f * static_cast<float>(i));
}
inline float keyUpLevel(std::size_t i) {
    return as16Bit(0.30f + 0.01f * static_cast<float>(i));
}
inline const float spaceLevel = as16Bit(0.40f);
inline const float enterLevel = as16Bit(0.41f);
inline const float backspaceLevel = as16Bit(0.42f);
inline const float rankUpLevel = as16Bit(0.50f);
inline const float capsOnLevel = as16Bit(0.51f);
inline const float ambienceLevel = as16Bit(0.60f);

// Writes the folder `root/<id>` with its manifest and samples and returns it as loaded.
LoadedTheme writeTestTheme(const std::filesystem::path& root, const TestThemeOptions& options);

}  // namespace tapwell::test

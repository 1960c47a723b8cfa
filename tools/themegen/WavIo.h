#pragma once
// Reading and writing the theme audio through libsndfile.

#include <expected>
#include <filesystem>
#include <string>

#include "Dsp.h"

namespace tapwell::themegen {

struct AudioFile {
    int sampleRate = 0;
    int channels = 0;
    Buffer samples;  // the first channel
};

// Writes 48 kHz mono 32-bit float WAV with no PEAK chunk (it carries a time stamp, which would
// make two generations of the same sound differ). Returns an error text on failure.
std::expected<void, std::string> writeWav(const std::filesystem::path& path, const Buffer& samples);

std::expected<AudioFile, std::string> readAudio(const std::filesystem::path& path);

}  // namespace tapwell::themegen

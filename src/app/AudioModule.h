#pragma once
// The program reads sound files other than plain WAV through the sound-format module
// (themes/AudioFileReader.h), loaded on the first such file.

#include "themes/AudioFileReader.h"

namespace tapwell {

// An AudioFileReader::Opener: loads the module (once) and opens `path` with it; an error naming
// the module when it cannot be loaded.
std::expected<std::unique_ptr<AudioFileReader>, Error> openAudioThroughModule(
    const std::filesystem::path& path);

}  // namespace tapwell

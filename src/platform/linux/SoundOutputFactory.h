#pragma once
// Chooses the audio output from the command line: "--audio-output sdl|null|wav:FILE" and
// "--audio-period FRAMES".

#include <cstddef>
#include <expected>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "sound/AudioOutput.h"

namespace tapwell {

struct AudioOutputChoice {
    enum class Kind { sdl, null, wav };
    Kind kind = Kind::sdl;
    std::filesystem::path file;  // for wav
    std::size_t periodFrames = 256;

    bool operator==(const AudioOutputChoice&) const = default;
};

// Parses "sdl", "null" or "wav:FILE"; the error is a message for the user.
std::expected<AudioOutputChoice, std::string> parseAudioOutputChoice(std::string_view text);

// The output for a choice. "sdl" falls back to the null output (with a warning in the audio log)
// whenever no device can be opened at start, so that the engine always runs; the WAV output
// writes in real time.
std::shared_ptr<AudioOutput> makeAudioOutput(const AudioOutputChoice& choice);

}  // namespace tapwell

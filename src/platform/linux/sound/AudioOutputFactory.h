#pragma once
// The audio output for the command line's choice.

#include <cstddef>
#include <expected>
#include <functional>
#include <memory>

#include "sound/AudioOutput.h"
#include "sound/AudioOutputChoice.h"

namespace tapwell {

// Makes the output that reaches the sound device without a sound server (SDL, which the program
// keeps in a module of its own), or says why it cannot.
using DirectOutputOpener =
    std::function<std::expected<std::unique_ptr<AudioOutput>, Error>(std::size_t periodFrames)>;

// The device output plays through the sound server; only when none answers does it ask
// `openDirect` (once, from then on keeping what it made) for the direct output, and when that
// cannot be made or started either it falls back to the null output (with a warning in the audio
// log), so that the engine always runs. The WAV output writes in real time.
std::shared_ptr<AudioOutput> makeAudioOutput(const AudioOutputChoice& choice,
                                             DirectOutputOpener openDirect);

}  // namespace tapwell

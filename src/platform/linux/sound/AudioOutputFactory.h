#pragma once
// The audio output for the command line's choice.

#include <memory>

#include "sound/AudioOutput.h"
#include "sound/AudioOutputChoice.h"

namespace tapwell {

// The device output falls back to the null output (with a warning in the audio log) whenever no
// device can be opened at start, so that the engine always runs; the WAV output writes in real
// time.
std::shared_ptr<AudioOutput> makeAudioOutput(const AudioOutputChoice& choice);

}  // namespace tapwell

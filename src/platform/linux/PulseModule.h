#pragma once
// The device output speaks the sound server's protocol (PulseAudio's, which PipeWire speaks too)
// through libpulse, which lives with that output in a module of its own (libtapwell-pulse.so). A
// run that writes a WAV file or plays to nothing never maps libpulse and the codec libraries
// behind it; a run that plays loads it on the thread that prepares the sound, beside the rest of
// the start, instead of before main.

#include <cstddef>
#include <expected>
#include <memory>
#include <string>

#include "platform/linux/sound/AudioOutputFactory.h"
#include "sound/AudioOutput.h"
#include "sound/OutputDevices.h"

namespace tapwell {

struct PulseModule {
    // The device output of makeAudioOutput: the server, else `openDirect`, else the null output.
    std::shared_ptr<AudioOutput> (*makeDeviceOutput)(std::size_t periodFrames,
                                                     DirectOutputOpener openDirect);
    // The server's sinks, for choosing where the sound goes.
    std::shared_ptr<OutputDevices> (*makeOutputDevices)();
};

inline constexpr const char* pulseModuleFile = "libtapwell-pulse.so";
inline constexpr const char* pulseModuleEntry = "tapwell_pulse_module";
using PulseModuleEntry = const PulseModule* (*)();

// Loads the module (once); an error naming it when it cannot be loaded.
std::expected<const PulseModule*, std::string> loadPulseModule();

}  // namespace tapwell

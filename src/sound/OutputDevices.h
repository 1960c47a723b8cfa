#pragma once
// The device layer behind output routing: which output devices exist, which of them are the
// machine's built-in speakers, and which one is the system's default. Implemented for PulseAudio
// (and PipeWire through its PulseAudio server) in platform/linux; tests use a fake.

#include <expected>
#include <vector>

#include "core/Error.h"
#include "sound/AudioOutput.h"

namespace tapwell {

struct OutputDeviceInfo {
    AudioDevice device;
    bool builtIn = false;    // the machine's own speakers
    bool hasOutput = false;  // can play sound at all
};

class OutputDevices {
  public:
    virtual ~OutputDevices() = default;
    // The system's default output device; the sound server's error when it cannot be queried.
    virtual std::expected<AudioDevice, Error> defaultOutputDevice() = 0;
    // Every output device in the server's order; the sound server's error when listing fails.
    virtual std::expected<std::vector<OutputDeviceInfo>, Error> outputDevices() = 0;
};

}  // namespace tapwell

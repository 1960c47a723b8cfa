#pragma once
// The output device list of the PulseAudio server (PipeWire answers through its PulseAudio
// server too), read with libpulse introspection over a short-lived connection per query.
//
// A sink counts as the built-in speakers when its active port is a speaker port (port type
// speaker, or a port named like "analog-output-speaker") on an internal card (form factor
// "internal" or bus "pci"): the whole internal card is marked internal, so the port tells the
// speakers from headphones and HDMI. A sink without any ports counts when its own form factor is
// "internal" or "speaker". A device's id is the sink name; its name is the sink description,
// which is how SDL opens it. The default device is the server's default sink.

#include <chrono>
#include <string>
#include <string_view>

#include "sound/OutputDevices.h"

namespace tapwell {

// What decides whether a sink is the built-in speakers.
struct PulseSinkFacts {
    bool hasPorts = false;
    std::string activePortName;        // empty when none is active
    bool activePortIsSpeaker = false;  // port type speaker
    std::string formFactor;            // "device.form_factor"
    std::string bus;                   // "device.bus"
};
bool isBuiltInSpeakerSink(const PulseSinkFacts& facts);

// Whether a server of the PulseAudio protocol, by the name it gives (`serverName`), is PipeWire's
// pulse server ("PulseAudio (on PipeWire 0.3.65)").
bool namesPipeWire(std::string_view serverName);

class PulseOutputDevices final : public OutputDevices {
  public:
    // `server` is a libpulse server string; empty means the default server of the session.
    explicit PulseOutputDevices(std::string server = {},
                                std::chrono::milliseconds timeout = std::chrono::seconds(2));

    // Errors have the domain "pulse" and libpulse's description; a server that does not answer
    // within the timeout gives the "Timeout" error.
    std::expected<AudioDevice, Error> defaultOutputDevice() override;
    std::expected<std::vector<OutputDeviceInfo>, Error> outputDevices() override;
    // What the server calls itself ("pulseaudio", or "PulseAudio (on PipeWire 0.3.65)").
    std::expected<std::string, Error> serverName();

  private:
    std::string server_;
    std::chrono::milliseconds timeout_;
};

}  // namespace tapwell

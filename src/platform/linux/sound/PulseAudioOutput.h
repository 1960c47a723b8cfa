#pragma once
// The device output when a PulseAudio server answers (PipeWire serves the same protocol, but the
// device output plays there through `PipeWireOutput` and comes here only when that cannot start):
// one playback stream of mono 32-bit float at 48 kHz, driven by libpulse's threaded main loop,
// which calls the source one period at a time whenever the server asks for data.
//
// The server takes back frames it has not played yet (PulseAudio's sinks rewind; PipeWire's pulse
// server hands its graph one quantum at a time from the stream's queue), so the stream queues a
// fraction of a second ahead and is asked for more only a dozen times a second; every command
// wakes the main loop, which has the source render again from just ahead of the frame playing
// (`RenderSource::rewindTo`, `WriteAheadPlan`) and writes over the queue from there, so a key's
// sound is still heard within milliseconds. The frame playing is extrapolated from the server's
// last timing report while the stream plays, and asked for first after a wake. On PipeWire the
// rewrite starts past the quantum its graph may already have taken.
//
// Once the source has been quiet for a while (`SilenceTracker`) the stream is corked: neither this
// program nor the server wakes up while nothing sounds. (A stream with the short queue also drops
// the silence it holds; one that writes ahead keeps it and writes over it.) The source's next
// command wakes the main loop through an eventfd; the stream is written from that command's first
// frame and uncorked.
//
// With no device set the stream follows the server's default sink; a change of the default is
// reported as a configuration change as well. A set device is the sink's name (`AudioDevice::id`)
// and the stream stays on it; when it goes away (or the server does) the handler is called once.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/fallback/EventFdWaker.h"
#include "sound/AudioOutput.h"
#include "sound/ChangeHandler.h"
#include "sound/SilenceTracker.h"

namespace tapwell {

class PulseAudioOutput final : public AudioOutput {
  public:
    // `server` as libpulse takes it ("unix:/path"); empty for the session's server. The stream is
    // corked after `idleFrames` quiet frames.
    explicit PulseAudioOutput(std::size_t periodFrames = 128, std::string server = {},
                              std::size_t idleFrames = SilenceTracker::defaultIdleFrames);
    ~PulseAudioOutput() override;
    PulseAudioOutput(const PulseAudioOutput&) = delete;
    PulseAudioOutput& operator=(const PulseAudioOutput&) = delete;

    // Fails with the server's error ("pulse") when no server answers or the stream cannot be
    // opened on the device.
    std::expected<void, Error> start(RenderSource& source) override;
    void stop() override;
    bool isRunning() const override { return running_.load(); }
    std::size_t periodFrames() const override { return periodFrames_; }
    void setConfigurationChangeHandler(std::function<void()> handler) override;
    std::optional<AudioDevice> currentDevice() const override;
    // Fails with the server's error when it cannot be asked, or with `noSuchDevice` when it has no
    // such sink.
    std::expected<void, Error> setCurrentDevice(const std::optional<AudioDevice>& device) override;
    // Takes `device` without asking the server (which did not answer); a later start fails on it
    // if the server still does not know it.
    void forceCurrentDevice(const std::optional<AudioDevice>& device);

    // The error code of a device the server does not have.
    static const int noSuchDevice;

    // Whether the stream is corked because the source is quiet; false while stopped.
    bool isAsleep() const { return asleep_.load(); }
    // How often the stream was uncorked for a command since the output was made.
    std::uint64_t wakeCount() const { return wakes_.load(); }
    // How often commands waited for the server to say which frame it plays before they were
    // written (a wake always does; a sound while the stream plays does not).
    std::uint64_t questionCount() const { return questions_.load(); }

    struct Session;

  private:
    void reportChange();

    const std::size_t periodFrames_;
    const std::string server_;
    const std::size_t idleFrames_;
    std::atomic<bool> running_{false};
    std::atomic<bool> asleep_{false};
    std::atomic<std::uint64_t> wakes_{0};
    std::atomic<std::uint64_t> questions_{0};
    EventFdWaker waker_;  // outlives every session, so a late wake finds it

    mutable std::mutex mutex_;  // lifecycle and device
    std::unique_ptr<Session> session_;
    std::optional<AudioDevice> device_;

    ChangeHandler changed_;
};

}  // namespace tapwell

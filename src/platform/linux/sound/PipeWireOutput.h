#pragma once
// The device output when the sound server is PipeWire: one native playback stream of mono 32-bit
// float at 48 kHz. PipeWire's graph calls the stream once a cycle on its own real-time thread, and
// the stream renders that cycle's frames there, one period at a time. Through PipeWire's pulse
// server the same sound costs a relay process and a queue that cannot be taken back once its
// graph has taken it; here a key's sound goes into the next cycle.
//
// The stream asks for a graph latency of one period, but not less than `graphLatencyFrames`: the
// quantum PipeWire's pulse server would run it at too. Each cycle wakes this program and the
// server once, so a smaller quantum would cost twice the wake-ups for a millisecond or two.
//
// Once the source has been quiet for a while (`SilenceTracker`) the stream is made inactive, so
// that neither this program nor the graph wakes up while nothing sounds. The source's next command
// wakes the loop thread through an eventfd, which makes the stream active again; the command then
// plays from its first frame.
//
// With no device set the stream follows the default sink: the session manager moves it when the
// default changes, and while there is no sink at all PipeWire runs it on its own clock, so that
// sounds are not held back. A set device is the sink's node name (`AudioDevice::id`, the same as
// the pulse server's sink name) and the stream stays on it. When that sink or the server goes
// away, or the stream fails, the configuration-change handler is called once, so that the owner
// restarts on whatever is there now.

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

class PipeWireOutput final : public AudioOutput {
  public:
    static constexpr std::size_t graphLatencyFrames = 256;

    // `remote` is the server's socket, a name in the runtime folder or an absolute path; empty for
    // the session's server. The stream goes inactive after `idleFrames` quiet frames.
    explicit PipeWireOutput(std::size_t periodFrames = 128, std::string remote = {},
                            std::size_t idleFrames = SilenceTracker::defaultIdleFrames);
    ~PipeWireOutput() override;
    PipeWireOutput(const PipeWireOutput&) = delete;
    PipeWireOutput& operator=(const PipeWireOutput&) = delete;

    // Fails with PipeWire's error ("pipewire") when no server answers or the stream cannot be made.
    std::expected<void, Error> start(RenderSource& source) override;
    void stop() override;
    bool isRunning() const override { return running_.load(); }
    std::size_t periodFrames() const override { return periodFrames_; }
    void setConfigurationChangeHandler(std::function<void()> handler) override;
    std::optional<AudioDevice> currentDevice() const override;
    // Takes `device` for the next start without asking the server: the owner has checked it with
    // the pulse server, which knows the same sinks. A sink that is not there fails the start.
    std::expected<void, Error> setCurrentDevice(const std::optional<AudioDevice>& device) override;

    // Whether the stream is inactive because the source is quiet; false while stopped.
    bool isAsleep() const { return asleep_.load(); }
    // How often the stream was made active again for a command since the output was made.
    std::uint64_t wakeCount() const { return wakes_.load(); }

    struct Session;

  private:
    // Called by the source on its next command while the stream sleeps or is about to.
    struct CommandWaker final : RenderWaker {
        explicit CommandWaker(PipeWireOutput& owner) : output(owner) {}
        void wake() noexcept override;
        PipeWireOutput& output;
    };

    const std::size_t periodFrames_;
    const std::string remote_;
    const std::size_t idleFrames_;
    std::atomic<bool> running_{false};
    std::atomic<bool> asleep_{false};
    std::atomic<std::uint64_t> wakes_{0};
    // Both outlive every session, so that a late wake finds them.
    std::atomic<bool> wakeRequested_{false};
    EventFdWaker events_;
    CommandWaker commandWaker_{*this};

    mutable std::mutex mutex_;  // lifecycle and device
    std::unique_ptr<Session> session_;
    std::optional<AudioDevice> device_;

    ChangeHandler changed_;
};

}  // namespace tapwell

#pragma once
// An output without a device: a render thread of its own pulls one period from the source at
// every period boundary, paced by absolute deadlines on the monotonic clock (clock_nanosleep with
// TIMER_ABSTIME, so no drift accumulates), and discards it. The engine then runs on a machine
// without a sound card with the same timing as on a device. Subclasses may keep the frames
// (`WavRealtimeAudioOutput`).
//
// Once the source has been quiet for a while the thread sleeps without a timeout until the
// source's next command wakes it, and then keeps time from that moment on.

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/fallback/EventFdWaker.h"
#include "sound/AudioOutput.h"
#include "sound/SilenceTracker.h"

namespace tapwell {

class NullAudioOutput : public AudioOutput {
  public:
    // The thread sleeps after `idleFrames` quiet frames.
    explicit NullAudioOutput(std::size_t periodFrames = 128,
                             std::size_t idleFrames = SilenceTracker::defaultIdleFrames);
    ~NullAudioOutput() override;

    std::expected<void, Error> start(RenderSource& source) override;
    void stop() override;
    bool isRunning() const override { return running_.load(); }
    // Whether the render thread sleeps because the source is quiet.
    bool isAsleep() const { return asleep_.load(); }
    std::size_t periodFrames() const override { return periodFrames_; }
    // A null output never changes its configuration; the handler is kept but never called.
    void setConfigurationChangeHandler(std::function<void()> handler) override;
    std::optional<AudioDevice> currentDevice() const override;
    std::expected<void, Error> setCurrentDevice(const std::optional<AudioDevice>& device) override;

  protected:
    // Receives every rendered period on the render thread; the default discards it.
    virtual void deliver(const float* mono, std::size_t frames);
    // Called on the thread that starts the output, before the render thread runs.
    virtual std::expected<void, Error> prepareToStart() { return {}; }
    // Whether the render thread may sleep while the source is quiet. Outputs whose frames line up
    // with the wall clock (a recording) keep rendering silence instead.
    virtual bool sleepsWhenQuiet() const { return true; }

    // Stops the render thread; subclasses call it first thing in their destructor.
    void stopRendering();

  private:
    void run(RenderSource* source);

    const std::size_t periodFrames_;
    const std::size_t idleFrames_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> asleep_{false};
    std::thread thread_;
    EventFdWaker waker_;        // for the source's commands and for stop
    mutable std::mutex mutex_;  // guards the lifecycle and the fields below
    std::optional<AudioDevice> device_;
    std::function<void()> handler_;
};

}  // namespace tapwell

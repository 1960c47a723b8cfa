#pragma once
// The device output: an SDL2 audio device (which reaches PipeWire, PulseAudio or ALSA) opened for
// mono 32-bit float at 48 kHz with a small period; SDL converts to whatever the device takes.
// SDL calls the source on its own audio thread.
//
// With no device set the output follows the system's default device; a set device is opened by
// its name (for PulseAudio the sink's description). While the device is open, a watcher notices
// when SDL reports it gone (unplugged, the sink removed) and calls the configuration-change
// handler once, so that the owner restarts on whatever is there now.
//
// A paused SDL device still feeds the server silence, so once the source has been quiet for a
// while the device is closed (by the watcher, since the audio callback cannot), and the source's
// next command has the watcher open it again; the command then plays from its first frame.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/fallback/EventFdWaker.h"
#include "sound/AudioOutput.h"
#include "sound/ChangeHandler.h"
#include "sound/SilenceTracker.h"

namespace tapwell {

class SdlAudioOutput final : public AudioOutput {
  public:
    explicit SdlAudioOutput(std::size_t periodFrames = 128,
                            std::size_t idleFrames = SilenceTracker::defaultIdleFrames);
    ~SdlAudioOutput() override;

    // Fails with SDL's error when the audio subsystem cannot start or the device cannot be opened.
    std::expected<void, Error> start(RenderSource& source) override;
    void stop() override;
    bool isRunning() const override { return running_.load(); }
    std::size_t periodFrames() const override { return periodFrames_; }
    void setConfigurationChangeHandler(std::function<void()> handler) override;
    std::optional<AudioDevice> currentDevice() const override;
    // Whether the device is closed because the source is quiet.
    bool isAsleep() const { return asleep_.load(); }
    std::expected<void, Error> setCurrentDevice(const std::optional<AudioDevice>& device) override;

  private:
    // Called by the source on its next command while the device is closed or closing.
    struct CommandWaker final : RenderWaker {
        explicit CommandWaker(SdlAudioOutput& owner) : output(owner) {}
        void wake() noexcept override;
        SdlAudioOutput& output;
    };

    static void callback(void* self, std::uint8_t* stream, int length);
    bool ensureSubsystem();  // with mutex_ held
    std::uint32_t openDevice();
    void watch();
    void closeDevice();

    const std::size_t periodFrames_;
    SilenceTracker silence_;  // audio callback, or the watcher while the device is closed
    bool subsystemReady_ = false;
    std::atomic<bool> running_{false};
    RenderSource* source_ = nullptr;  // read by the SDL audio thread while the device is open
    std::uint32_t deviceID_ = 0;

    mutable std::mutex mutex_;  // lifecycle and device
    std::optional<AudioDevice> device_;
    std::string openedName_;  // the device as started (empty: the default), for reopening

    // The watcher waits on `events_` for these, and (while the device is open) checks it now and
    // then.
    EventFdWaker events_;
    CommandWaker commandWaker_{*this};
    std::atomic<bool> watchStop_{false};
    std::atomic<bool> sleepRequested_{false};
    std::atomic<bool> wakeRequested_{false};
    std::atomic<bool> asleep_{false};
    std::thread watcher_;

    ChangeHandler changed_;
};

}  // namespace tapwell

#pragma once
// The device output: an SDL2 audio device (which reaches PipeWire, PulseAudio or ALSA) opened for
// mono 32-bit float at 48 kHz with a small period; SDL converts to whatever the device takes.
// SDL calls the source on its own audio thread.
//
// With no device set the output follows the system's default device; a set device is opened by
// its name (for PulseAudio the sink's description). While the device is open, a watcher notices
// when SDL reports it gone (unplugged, the sink removed) and calls the configuration-change
// handler once, so that the owner restarts on whatever is there now.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "sound/AudioOutput.h"

namespace tapwell {

class SdlAudioOutput final : public AudioOutput {
  public:
    explicit SdlAudioOutput(std::size_t periodFrames = 128);
    ~SdlAudioOutput() override;

    // Fails with SDL's error when the audio subsystem cannot start or the device cannot be opened.
    std::expected<void, Error> start(RenderSource& source) override;
    void stop() override;
    bool isRunning() const override { return running_.load(); }
    std::size_t periodFrames() const override { return periodFrames_; }
    void setConfigurationChangeHandler(std::function<void()> handler) override;
    std::optional<AudioDevice> currentDevice() const override;
    std::expected<void, Error> setCurrentDevice(const std::optional<AudioDevice>& device) override;

  private:
    static void callback(void* self, std::uint8_t* stream, int length);
    void watch(std::uint32_t device);
    void closeDevice();

    const std::size_t periodFrames_;
    bool subsystemReady_ = false;
    std::atomic<bool> running_{false};
    RenderSource* source_ = nullptr;  // read by the SDL audio thread while the device is open
    std::uint32_t deviceID_ = 0;

    mutable std::mutex mutex_;  // lifecycle and device
    std::optional<AudioDevice> device_;

    std::mutex watchMutex_;
    std::condition_variable watchWake_;
    bool watchStop_ = false;
    std::thread watcher_;

    std::mutex handlerMutex_;
    std::function<void()> handler_;
};

}  // namespace tapwell

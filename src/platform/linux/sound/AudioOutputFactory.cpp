#include "platform/linux/sound/AudioOutputFactory.h"

#include <atomic>
#include <mutex>

#include "core/Log.h"
#include "platform/fallback/NullAudioOutput.h"
#include "platform/linux/sound/PulseAudioOutput.h"
#include "platform/linux/sound/PulseDefaultSinkWatcher.h"
#include "platform/linux/sound/SdlAudioOutput.h"
#include "platform/linux/sound/WavRealtimeAudioOutput.h"

namespace tapwell {

namespace {

// The device output: straight to the sound server when one answers, else through SDL (ALSA), else
// the null output while no device opens. While the SDL output follows the system's default device,
// a change of the default sink is reported as a configuration change, so that the engine reopens
// the device where the sound now belongs (the server output watches that itself).
class DeviceAudioOutput final : public AudioOutput {
  public:
    explicit DeviceAudioOutput(std::size_t periodFrames)
        : server_(periodFrames), device_(periodFrames), fallback_(periodFrames) {
        server_.setConfigurationChangeHandler([this] { notify(); });
        device_.setConfigurationChangeHandler([this] { notify(); });
    }
    ~DeviceAudioOutput() override {
        stop();
        server_.setConfigurationChangeHandler({});
        device_.setConfigurationChangeHandler({});
    }

    std::expected<void, Error> start(RenderSource& source) override {
        std::lock_guard lock(mutex_);
        if (isRunning()) {
            return {};
        }
        auto served = server_.start(source);
        if (served) {
            return {};
        }
        logger(LogCategory::audio)
            .info("No sound server answered, opening the sound device through SDL: {}",
                  served.error().description);
        // A server without a sink (the last one went away) answers again once one appears: it
        // becomes the default, and the engine reopens on it. The same watch follows the
        // default device for SDL.
        if (!device_.currentDevice()) {
            watcher_ = std::make_unique<PulseDefaultSinkWatcher>("", [this] { notify(); });
        }
        auto started = device_.start(source);
        if (started) {
            return {};
        }
        logger(LogCategory::audio)
            .warn("No audio device opened, playing to the null output: {}",
                  started.error().description);
        return fallback_.start(source);
    }
    void stop() override {
        std::lock_guard lock(mutex_);
        watcher_.reset();
        server_.stop();
        device_.stop();
        fallback_.stop();
    }
    bool isRunning() const override {
        return server_.isRunning() || device_.isRunning() || fallback_.isRunning();
    }
    std::size_t periodFrames() const override { return server_.periodFrames(); }
    void setConfigurationChangeHandler(std::function<void()> handler) override {
        std::lock_guard lock(handlerMutex_);
        handler_ = std::move(handler);
    }
    std::optional<AudioDevice> currentDevice() const override { return server_.currentDevice(); }
    // The server knows its sinks by name; SDL by description. Without a server SDL decides alone.
    std::expected<void, Error> setCurrentDevice(const std::optional<AudioDevice>& device) override {
        auto served = server_.setCurrentDevice(device);
        if (served || served.error().code == PulseAudioOutput::noSuchDevice) {
            (void)device_.setCurrentDevice(device);
            return served;
        }
        auto opened = device_.setCurrentDevice(device);
        if (opened) {
            server_.forceCurrentDevice(device);
        }
        return opened;
    }

  private:
    void notify() {
        std::lock_guard lock(handlerMutex_);
        if (handler_) {
            handler_();
        }
    }

    std::mutex mutex_;
    PulseAudioOutput server_;
    SdlAudioOutput device_;
    NullAudioOutput fallback_;
    std::unique_ptr<PulseDefaultSinkWatcher> watcher_;
    std::mutex handlerMutex_;
    std::function<void()> handler_;
};

}  // namespace

std::shared_ptr<AudioOutput> makeAudioOutput(const AudioOutputChoice& choice) {
    switch (choice.kind) {
        case AudioOutputChoice::Kind::null:
            return std::make_shared<NullAudioOutput>(choice.periodFrames);
        case AudioOutputChoice::Kind::wav:
            return std::make_shared<WavRealtimeAudioOutput>(choice.file, choice.periodFrames);
        case AudioOutputChoice::Kind::device:
            break;
    }
    return std::make_shared<DeviceAudioOutput>(choice.periodFrames);
}

}  // namespace tapwell

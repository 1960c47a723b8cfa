#include "platform/linux/sound/AudioOutputFactory.h"

#include <atomic>
#include <mutex>

#include "core/Log.h"
#include "platform/fallback/NullAudioOutput.h"
#include "platform/linux/sound/PulseDefaultSinkWatcher.h"
#include "platform/linux/sound/SdlAudioOutput.h"
#include "platform/linux/sound/WavRealtimeAudioOutput.h"

namespace tapwell {

namespace {

// The device output, or the null output while no device opens. While the device output follows
// the system's default device, a change of the default sink is reported as a configuration change,
// so that the engine reopens the device where the sound now belongs.
class SdlOrNullAudioOutput final : public AudioOutput {
  public:
    explicit SdlOrNullAudioOutput(std::size_t periodFrames)
        : device_(periodFrames), fallback_(periodFrames) {
        device_.setConfigurationChangeHandler([this] { notify(); });
    }
    ~SdlOrNullAudioOutput() override {
        stop();
        device_.setConfigurationChangeHandler({});
    }

    std::expected<void, Error> start(RenderSource& source) override {
        std::lock_guard lock(mutex_);
        if (device_.isRunning() || fallback_.isRunning()) {
            return {};
        }
        auto started = device_.start(source);
        if (started) {
            if (!device_.currentDevice()) {
                watcher_ = std::make_unique<PulseDefaultSinkWatcher>("", [this] { notify(); });
            }
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
        device_.stop();
        fallback_.stop();
    }
    bool isRunning() const override { return device_.isRunning() || fallback_.isRunning(); }
    std::size_t periodFrames() const override { return device_.periodFrames(); }
    void setConfigurationChangeHandler(std::function<void()> handler) override {
        std::lock_guard lock(handlerMutex_);
        handler_ = std::move(handler);
    }
    std::optional<AudioDevice> currentDevice() const override { return device_.currentDevice(); }
    std::expected<void, Error> setCurrentDevice(const std::optional<AudioDevice>& device) override {
        return device_.setCurrentDevice(device);
    }

  private:
    void notify() {
        std::lock_guard lock(handlerMutex_);
        if (handler_) {
            handler_();
        }
    }

    std::mutex mutex_;
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
    return std::make_shared<SdlOrNullAudioOutput>(choice.periodFrames);
}

}  // namespace tapwell

#include "platform/linux/sound/AudioOutputFactory.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string_view>

#include "core/Log.h"
#include "platform/fallback/NullAudioOutput.h"
#include "platform/linux/sound/PipeWireOutput.h"
#include "platform/linux/sound/PulseAudioOutput.h"
#include "platform/linux/sound/PulseDefaultSinkWatcher.h"
#include "platform/linux/sound/PulseOutputDevices.h"
#include "platform/linux/sound/WavRealtimeAudioOutput.h"

namespace tapwell {

namespace {

// The device output: straight to the sound server when one answers (on PipeWire with a stream of
// its own rather than through its pulse server), else through the direct output (SDL, reaching
// ALSA), else the null output while no device opens. While the direct output follows the system's
// default device, a change of the default sink is reported as a configuration change, so that the
// engine reopens the device where the sound now belongs (the server outputs watch that themselves).
class DeviceAudioOutput final : public AudioOutput {
  public:
    DeviceAudioOutput(std::size_t periodFrames, DirectOutputOpener openDirect)
        : periodFrames_(periodFrames),
          server_(periodFrames),
          native_(periodFrames),
          fallback_(periodFrames),
          openDirect_(std::move(openDirect)) {
        server_.setConfigurationChangeHandler([this] { changed_(); });
        native_.setConfigurationChangeHandler([this] { changed_(); });
    }
    ~DeviceAudioOutput() override {
        stop();
        server_.setConfigurationChangeHandler({});
        native_.setConfigurationChangeHandler({});
        if (AudioOutput* direct = loadedDirect()) {
            direct->setConfigurationChangeHandler({});
        }
    }

    std::expected<void, Error> start(RenderSource& source) override {
        std::lock_guard lock(mutex_);
        if (isRunning()) {
            return {};
        }
        if (servedByPipeWire()) {
            auto native = native_.start(source);
            if (native) {
                return {};
            }
            logger(LogCategory::audio)
                .info("Playing through PipeWire's pulse server: {}", native.error().description);
        }
        auto served = server_.start(source);
        if (served) {
            return {};
        }
        logger(LogCategory::audio)
            .info("No sound server answered, opening the sound device through SDL: {}",
                  served.error().description);
        auto direct = directOutput();
        // A server without a sink (the last one went away) answers again once one appears: it
        // becomes the default, and the engine reopens on it. The same watch follows the
        // default device for the direct output.
        if (!directDevice()) {
            watcher_ = std::make_unique<PulseDefaultSinkWatcher>("", [this] { changed_(); });
        }
        auto started = direct ? (*direct)->start(source)
                              : std::expected<void, Error>(std::unexpected(direct.error()));
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
        native_.stop();
        server_.stop();
        if (AudioOutput* direct = loadedDirect()) {
            direct->stop();
        }
        fallback_.stop();
    }
    bool isRunning() const override {
        if (server_.isRunning() || native_.isRunning() || fallback_.isRunning()) {
            return true;
        }
        const AudioOutput* direct = loadedDirect();
        return direct != nullptr && direct->isRunning();
    }
    std::size_t periodFrames() const override { return server_.periodFrames(); }
    void setConfigurationChangeHandler(std::function<void()> handler) override {
        changed_.set(std::move(handler));
    }
    std::optional<AudioDevice> currentDevice() const override { return server_.currentDevice(); }
    // The server knows its sinks by name; SDL by description. Without a server SDL decides alone.
    std::expected<void, Error> setCurrentDevice(const std::optional<AudioDevice>& device) override {
        auto served = server_.setCurrentDevice(device);
        if (served) {
            (void)native_.setCurrentDevice(device);
        }
        if (served || served.error().code == PulseAudioOutput::noSuchDevice) {
            keepForDirect(device);
            return served;
        }
        auto direct = directOutput();
        if (!direct) {
            return std::unexpected(direct.error());
        }
        auto opened = (*direct)->setCurrentDevice(device);
        if (opened) {
            server_.forceCurrentDevice(device);
            (void)native_.setCurrentDevice(device);
        }
        return opened;
    }

  private:
    // A server named in PULSE_SERVER may be another machine's, which the PipeWire stream (on the
    // socket PipeWire's own variables name) would not reach: only a local socket is followed.
    static bool servedByPipeWire() {
        if (const char* named = std::getenv("PULSE_SERVER");
            named != nullptr && !std::string_view(named).starts_with("unix:") && named[0] != '/') {
            return false;
        }
        auto name = PulseOutputDevices({}, std::chrono::milliseconds(500)).serverName();
        return name && namesPipeWire(*name);
    }

    // Made on first need only, so that a run the server serves never loads the direct output.
    // Once made it stays until the end, so its address may be used without the lock; calls into
    // it are made without the lock too, since its threads call back into this object.
    std::expected<AudioOutput*, Error> directOutput() {
        std::lock_guard lock(directMutex_);
        if (!direct_) {
            if (!openDirect_) {
                return std::unexpected(Error{"sdl", -1, "this build has no direct device output"});
            }
            auto made = openDirect_(periodFrames_);
            if (!made) {
                return std::unexpected(made.error());
            }
            direct_ = std::move(*made);
            direct_->setConfigurationChangeHandler([this] { changed_(); });
            // A device it does not know leaves it following the default.
            if (pendingDevice_) {
                (void)direct_->setCurrentDevice(pendingDevice_);
            }
        }
        return direct_.get();
    }
    AudioOutput* loadedDirect() const {
        std::lock_guard lock(directMutex_);
        return direct_.get();
    }
    // A device chosen while the server plays: the direct output, once there, plays it too.
    void keepForDirect(const std::optional<AudioDevice>& device) {
        AudioOutput* direct = nullptr;
        {
            std::lock_guard lock(directMutex_);
            if (!direct_) {
                pendingDevice_ = device;
                return;
            }
            direct = direct_.get();
        }
        (void)direct->setCurrentDevice(device);
    }
    std::optional<AudioDevice> directDevice() const {
        AudioOutput* direct = nullptr;
        {
            std::lock_guard lock(directMutex_);
            if (!direct_) {
                return pendingDevice_;
            }
            direct = direct_.get();
        }
        return direct->currentDevice();
    }

    const std::size_t periodFrames_;  // as asked for; each output clamps it to what it takes
    std::mutex mutex_;
    PulseAudioOutput server_;
    PipeWireOutput native_;
    NullAudioOutput fallback_;
    std::unique_ptr<PulseDefaultSinkWatcher> watcher_;

    mutable std::mutex directMutex_;
    const DirectOutputOpener openDirect_;
    std::unique_ptr<AudioOutput> direct_;
    std::optional<AudioDevice> pendingDevice_;

    ChangeHandler changed_;
};

}  // namespace

std::shared_ptr<AudioOutput> makeAudioOutput(const AudioOutputChoice& choice,
                                             DirectOutputOpener openDirect) {
    switch (choice.kind) {
        case AudioOutputChoice::Kind::null:
            return std::make_shared<NullAudioOutput>(choice.periodFrames);
        case AudioOutputChoice::Kind::wav:
            return std::make_shared<WavRealtimeAudioOutput>(choice.file, choice.periodFrames);
        case AudioOutputChoice::Kind::device:
            break;
    }
    return std::make_shared<DeviceAudioOutput>(choice.periodFrames, std::move(openDirect));
}

}  // namespace tapwell

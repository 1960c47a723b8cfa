#pragma once
// The direct outputs the device output is given in tests: SDL itself, or a fake that records.

#include <atomic>
#include <memory>

#include "platform/linux/sound/AudioOutputFactory.h"
#include "platform/linux/sound/SdlAudioOutput.h"

namespace tapwell::test {

// SDL itself, as the program's module makes it.
inline std::expected<std::unique_ptr<AudioOutput>, Error> openSdl(std::size_t periodFrames) {
    return std::make_unique<SdlAudioOutput>(periodFrames);
}

// A direct output that plays nothing: it records what the device output asks of it, and knows
// one device, "Speakers".
class FakeDirectOutput final : public AudioOutput {
  public:
    explicit FakeDirectOutput(bool starting) : starting_(starting) {}
    std::expected<void, Error> start(RenderSource&) override {
        ++startCalls;
        if (!starting_) {
            return std::unexpected(Error{"fake", 1, "no device"});
        }
        running = true;
        return {};
    }
    void stop() override { running = false; }
    bool isRunning() const override { return running; }
    std::size_t periodFrames() const override { return 128; }
    void setConfigurationChangeHandler(std::function<void()>) override {}
    std::optional<AudioDevice> currentDevice() const override { return device; }
    std::expected<void, Error> setCurrentDevice(const std::optional<AudioDevice>& to) override {
        if (to && to->name != "Speakers") {
            return std::unexpected(Error{"fake", 2, "unknown device"});
        }
        device = to;
        return {};
    }

    std::atomic<bool> running{false};
    int startCalls = 0;
    std::optional<AudioDevice> device;

  private:
    const bool starting_;
};

// Counts the direct outputs asked for; makes fakes (keeping the last one's address) or fails as
// a missing module does.
struct DirectOpener {
    bool makes = true;
    bool starts = true;
    int opened = 0;
    std::size_t periodFrames = 0;  // as the last one was asked for
    FakeDirectOutput* made = nullptr;

    DirectOutputOpener opener() {
        return [this](std::size_t period) -> std::expected<std::unique_ptr<AudioOutput>, Error> {
            ++opened;
            periodFrames = period;
            if (!makes) {
                return std::unexpected(Error{"sdl", -1, "the module is missing"});
            }
            auto output = std::make_unique<FakeDirectOutput>(starts);
            made = output.get();
            return output;
        };
    }
};

}  // namespace tapwell::test

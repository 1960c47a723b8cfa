#include <gtest/gtest.h>

#include "SoundTestSupport.h"
#include "sound/SoundEngine.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

// An output that records what the engine does to it and fails where a test says.
class FakeOutput final : public AudioOutput {
  public:
    std::expected<void, Error> start(RenderSource&) override {
        log.push_back("start " + deviceName());
        if (failStartOn && device == *failStartOn) {
            return std::unexpected(Error{"sdl", -1, "cannot open"});
        }
        running = true;
        return {};
    }
    void stop() override {
        log.push_back("stop");
        running = false;
    }
    bool isRunning() const override { return running; }
    std::size_t periodFrames() const override { return 256; }
    void setConfigurationChangeHandler(std::function<void()>) override {}
    std::optional<AudioDevice> currentDevice() const override { return device; }
    std::expected<void, Error> setCurrentDevice(const std::optional<AudioDevice>& next) override {
        log.push_back("set " + (next ? next->id : std::string("default")));
        if (failSet && next == failSet) {
            return std::unexpected(Error{"pulse", 7, "refused"});
        }
        device = next;
        return {};
    }

    std::string deviceName() const { return device ? device->id : "default"; }

    bool running = false;
    std::optional<AudioDevice> device;
    std::optional<std::optional<AudioDevice>> failStartOn;
    std::optional<AudioDevice> failSet;
    std::vector<std::string> log;
};

class FakeDevices final : public OutputDevices {
  public:
    std::expected<AudioDevice, Error> defaultOutputDevice() override {
        if (defaultError) {
            return std::unexpected(*defaultError);
        }
        return defaultDevice;
    }
    std::expected<std::vector<OutputDeviceInfo>, Error> outputDevices() override {
        if (listError) {
            return std::unexpected(*listError);
        }
        return devices;
    }

    AudioDevice defaultDevice{"usb", "USB Headset"};
    std::optional<Error> defaultError;
    std::optional<Error> listError;
    std::vector<OutputDeviceInfo> devices{
        {{"hdmi", "HDMI"}, false, true},
        {{"mic-only", "Internal Mic"}, true, false},
        {{"speakers", "Built-in Speakers"}, true, true},
        {{"speakers-2", "Second Speakers"}, true, true},
        {{"usb", "USB Headset"}, false, true},
    };
};

class OutputRoutingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SoundEngine::Dependencies dependencies;
        dependencies.output = output;
        dependencies.devices = devices;
        auto created = SoundEngine::create({test::writeTestTheme(dir.path(), {})}, std::nullopt,
                                           std::move(dependencies));
        ASSERT_TRUE(created.has_value());
        engine = std::move(*created);
        output->log.clear();
    }

    test::TempDir dir;
    std::shared_ptr<FakeOutput> output = std::make_shared<FakeOutput>();
    std::shared_ptr<FakeDevices> devices = std::make_shared<FakeDevices>();
    std::unique_ptr<SoundEngine> engine;
};

TEST_F(OutputRoutingTest, BuiltInPicksTheFirstBuiltInDeviceWithOutput) {
    ASSERT_TRUE(engine->setBuiltInOutput(true).has_value());
    EXPECT_EQ(output->log, (std::vector<std::string>{"stop", "set speakers", "start speakers"}));
    EXPECT_TRUE(output->running);
}

TEST_F(OutputRoutingTest, SwitchingToTheDeviceInUseRestartsWithoutError) {
    ASSERT_TRUE(engine->setBuiltInOutput(true).has_value());
    output->log.clear();
    ASSERT_TRUE(engine->setBuiltInOutput(true).has_value());
    EXPECT_EQ(output->log, (std::vector<std::string>{"stop", "set speakers", "start speakers"}));
}

TEST_F(OutputRoutingTest, BackToTheDefaultUsesTheSystemDefaultDevice) {
    ASSERT_TRUE(engine->setBuiltInOutput(false).has_value());
    EXPECT_EQ(output->deviceName(), "usb");
    EXPECT_TRUE(output->running);
}

TEST_F(OutputRoutingTest, WithoutADefaultDeviceFailsWithInvalidFormatAndLeavesPlaybackAlone) {
    devices->defaultError = Error{"pulse", 3, "no server"};
    auto result = engine->setBuiltInOutput(false);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), SoundEngineError(AudioError::invalidFormat));
    EXPECT_TRUE(output->log.empty());
    EXPECT_TRUE(output->running);
}

TEST_F(OutputRoutingTest, WithoutABuiltInDeviceFailsWithInvalidFormat) {
    devices->devices.erase(devices->devices.begin() + 1, devices->devices.begin() + 4);
    auto result = engine->setBuiltInOutput(true);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), SoundEngineError(AudioError::invalidFormat));
    EXPECT_TRUE(output->log.empty());
}

TEST_F(OutputRoutingTest, BuiltInSpeakersAreKnownOnlyWhenTheyCanPlay) {
    EXPECT_TRUE(engine->hasBuiltInOutput());
    devices->devices.erase(devices->devices.begin() + 2, devices->devices.begin() + 4);
    EXPECT_FALSE(engine->hasBuiltInOutput());  // the built-in microphone plays nothing
    devices->listError = Error{"pulse", 9, "Connection refused"};
    EXPECT_FALSE(engine->hasBuiltInOutput());
}

TEST_F(OutputRoutingTest, DeviceListErrorsPassThroughUnchanged) {
    const Error failure{"pulse", 9, "Connection refused"};
    devices->listError = failure;
    auto result = engine->setBuiltInOutput(true);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), SoundEngineError(failure));
    EXPECT_TRUE(output->running);
}

TEST_F(OutputRoutingTest, RefusedDeviceRestoresThePreviousOneAndReportsTheError) {
    ASSERT_TRUE(engine->setBuiltInOutput(false).has_value());  // now on "usb"
    output->log.clear();
    output->failSet = AudioDevice{"speakers", "Built-in Speakers"};
    auto result = engine->setBuiltInOutput(true);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), SoundEngineError(Error{"pulse", 7, "refused"}));
    EXPECT_EQ(output->log,
              (std::vector<std::string>{"stop", "set speakers", "set usb", "start usb"}));
    EXPECT_TRUE(output->running);
}

TEST_F(OutputRoutingTest, FailedStartGoesBackToFollowingTheDefault) {
    output->failStartOn = std::optional<AudioDevice>(AudioDevice{"speakers", "Built-in Speakers"});
    auto result = engine->setBuiltInOutput(true);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), SoundEngineError(Error{"sdl", -1, "cannot open"}));
    EXPECT_EQ(output->log, (std::vector<std::string>{"stop", "set speakers", "start speakers",
                                                     "set default", "start default"}));
    EXPECT_TRUE(output->running);
    EXPECT_EQ(output->device, std::nullopt);
}

TEST(OutputRouting, WithoutADeviceLayerFailsWithInvalidFormat) {
    test::TempDir dir;
    SoundEngine::Dependencies dependencies;
    dependencies.output = std::make_shared<FakeOutput>();
    auto engine = SoundEngine::create({test::writeTestTheme(dir.path(), {})}, std::nullopt,
                                      std::move(dependencies));
    ASSERT_TRUE(engine.has_value());
    EXPECT_FALSE((*engine)->hasBuiltInOutput());
    auto result = (*engine)->setBuiltInOutput(true);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), SoundEngineError(AudioError::invalidFormat));
}

}  // namespace
}  // namespace tapwell

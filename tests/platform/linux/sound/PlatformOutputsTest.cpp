#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/fallback/NullAudioOutput.h"
#include "platform/linux/sound/AudioOutputFactory.h"
#include "platform/linux/sound/DirectOutputFakes.h"
#include "platform/linux/sound/PulseOutputDevices.h"
#include "platform/linux/sound/SdlAudioOutput.h"
#include "platform/linux/sound/WavRealtimeAudioOutput.h"
#include "sound/AudioDecoder.h"
#include "sound/Mixer.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

using Clock = std::chrono::steady_clock;

// Counts render calls and lets a test wait for a number of them.
class CountingSource final : public RenderSource {
  public:
    void render(float* mono, std::size_t frames) noexcept override {
        for (std::size_t i = 0; i < frames; ++i) {
            mono[i] = 0.25f;
        }
        std::lock_guard lock(mutex_);
        if (calls_ == 0) {
            first_ = Clock::now();
        }
        ++calls_;
        frames_ += frames;
        changed_.notify_all();
    }

    // Waits (ten seconds at most) until `count` calls happened; returns the time from the first
    // to that call, or nothing when the output stopped calling.
    std::optional<std::chrono::duration<double>> waitFor(std::size_t count) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, std::chrono::seconds(10), [&] { return calls_ >= count; })) {
            return std::nullopt;
        }
        return Clock::now() - first_;
    }

    std::size_t calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t calls_ = 0;
    std::size_t frames_ = 0;
    Clock::time_point first_;
};

TEST(NullAudioOutput, PullsOnePeriodPerPeriodOfRealTime) {
    NullAudioOutput output(256);
    CountingSource source;
    ASSERT_TRUE(output.start(source).has_value());
    EXPECT_TRUE(output.isRunning());
    const auto elapsed = source.waitFor(41);
    output.stop();
    ASSERT_TRUE(elapsed);
    // Forty periods of 256 frames at 48 kHz are 213 ms; the pace comes from absolute deadlines,
    // so it is never faster than real time.
    EXPECT_GE(elapsed->count(), 0.2133 - 0.001);
    EXPECT_FALSE(output.isRunning());
    const std::size_t afterStop = source.calls();
    // Nothing is rendered after stop returned; a new start resumes.
    ASSERT_TRUE(output.start(source).has_value());
    EXPECT_TRUE(source.waitFor(afterStop + 2));
    output.stop();
}

// Waits up to ten seconds for `done`, checking every 10 ms.
template <typename Condition>
bool within10s(Condition done) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Asleep while the mixer is quiet, awake for a sound, asleep again after it, and stoppable while
// asleep.
template <typename Output>
void expectSleepsWhileQuiet(Output& output) {
    Mixer mixer;
    mixer.setBusGains(1.0f, 1.0f, 1.0f);
    ASSERT_TRUE(output.start(mixer).has_value());
    ASSERT_TRUE(within10s([&] { return output.isAsleep(); }));
    const std::uint64_t before = mixer.renderedFrames();
    auto sound = std::make_shared<PcmBuffer>();
    sound->samples.assign(64, PcmBuffer::quantize(0.5f));
    mixer.play(Mixer::typingVoice(0), sound, 1.0f);
    EXPECT_TRUE(within10s([&] { return mixer.renderedFrames() > before + 64; }));
    EXPECT_TRUE(within10s([&] { return output.isAsleep(); })) << "asleep again after the sound";
    output.stop();
    EXPECT_FALSE(output.isRunning());
    EXPECT_FALSE(output.isAsleep());
}

TEST(NullAudioOutput, SleepsWhileQuietAndWakesForTheNextSound) {
    NullAudioOutput output(64, 256);
    expectSleepsWhileQuiet(output);
}

TEST(SdlAudioOutput, ClosesTheDeviceWhileQuietAndReopensItForTheNextSound) {
    test::ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    SdlAudioOutput output(256, 512);
    expectSleepsWhileQuiet(output);
}

TEST(NullAudioOutput, KeepsTheDeviceItIsGiven) {
    NullAudioOutput output;
    EXPECT_EQ(output.currentDevice(), std::nullopt);
    ASSERT_TRUE(output.setCurrentDevice(AudioDevice{"sink", "Sink"}).has_value());
    EXPECT_EQ(output.currentDevice(), (AudioDevice{"sink", "Sink"}));
}

TEST(WavRealtimeAudioOutput, WritesEveryPeriodAsItIsRendered) {
    test::TempDir dir;
    const auto file = dir / "live.wav";
    WavRealtimeAudioOutput output(file, 128);
    CountingSource source;
    ASSERT_TRUE(output.start(source).has_value());
    ASSERT_TRUE(source.waitFor(10));
    // The file already holds the periods so far, while the output still runs.
    const auto sizeWhileRunning = std::filesystem::file_size(file);
    EXPECT_GE(sizeWhileRunning, 44u + 9u * 128u * sizeof(float));
    output.stop();
    auto decoded = decodeAudioFile(file);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ((*decoded)->frameLength() % 128, 0u);
    EXPECT_GE((*decoded)->frameLength(), 10u * 128u);
    EXPECT_EQ(PcmBuffer::toFloat((*decoded)->samples.front()), 0.25f);
}

// Tells a pipe once `periods` periods have been rendered, then keeps rendering.
class SignallingSource final : public RenderSource {
  public:
    SignallingSource(int fd, std::size_t periods) : fd_(fd), periods_(periods) {}
    void render(float* mono, std::size_t frames) noexcept override {
        std::fill(mono, mono + frames, 0.5f);
        if (++calls_ == periods_ && ::write(fd_, "x", 1) != 1) {
            ::_exit(2);
        }
    }

  private:
    int fd_;
    std::size_t periods_;
    std::size_t calls_ = 0;
};

// Killed while recording, the process leaves a WAV whose header counts every period written up to
// its last refresh, here every period (the sizes used to stay 0 until the close).
TEST(WavRealtimeAudioOutput, AKilledRecorderLeavesAValidFile) {
    test::TempDir dir;
    const auto file = dir / "live.wav";
    constexpr std::size_t period = 256;
    constexpr std::size_t periods = 40;
    int toParent[2];
    ASSERT_EQ(::pipe(toParent), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(toParent[0]);
        WavRealtimeAudioOutput output(file, period, period);
        SignallingSource source(toParent[1], periods);
        if (!output.start(source)) {
            ::_exit(1);
        }
        for (;;) {
            ::pause();
        }
    }
    ::close(toParent[1]);
    char byte = 0;
    const bool signalled = ::read(toParent[0], &byte, 1) == 1;
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(toParent[0]);
    ASSERT_TRUE(signalled) << "the recorder did not start";
    ASSERT_TRUE(WIFSIGNALED(status));

    // Readers differ in how they treat sizes of 0 (some take the rest of the file, some play
    // nothing), so the sizes themselves are checked.
    const std::string bytes = dir.read("live.wav");
    auto word = [&bytes](std::size_t at) {
        std::uint32_t value = 0;
        std::memcpy(&value, bytes.data() + at, sizeof value);
        return value;
    };
    ASSERT_GE(bytes.size(), 12u);
    ASSERT_EQ(bytes.substr(0, 4), "RIFF");
    std::size_t at = 12;
    while (at + 8 <= bytes.size() && bytes.substr(at, 4) != "data") {
        at += 8 + word(at + 4);
    }
    ASSERT_LE(at + 8, bytes.size()) << "no data chunk";
    const std::uint32_t dataBytes = word(at + 4);
    EXPECT_GE(dataBytes, (periods - 2) * period * sizeof(float));
    EXPECT_EQ(dataBytes % (period * sizeof(float)), 0u);
    EXPECT_LE(at + 8 + dataBytes, bytes.size());
    EXPECT_EQ(word(4), at + dataBytes) << "the RIFF size covers the chunks up to the data's end";
    auto decoded = decodeAudioFile(file);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(PcmBuffer::toFloat((*decoded)->samples.back()), 0.5f);
}

TEST(WavRealtimeAudioOutput, FailsToStartWhenTheFileCannotBeCreated) {
    test::TempDir dir;
    WavRealtimeAudioOutput output(dir / "no-such-folder" / "x.wav");
    CountingSource source;
    auto started = output.start(source);
    ASSERT_FALSE(started.has_value());
    EXPECT_EQ(started.error().domain, "posix");
    EXPECT_FALSE(output.isRunning());
}

TEST(SdlAudioOutput, RunsOnTheDummyDriverAndRefusesUnknownDevices) {
    test::ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    SdlAudioOutput output(256);
    CountingSource source;
    auto started = output.start(source);
    ASSERT_TRUE(started.has_value()) << started.error().description;
    EXPECT_TRUE(source.waitFor(3));
    output.stop();
    EXPECT_FALSE(output.isRunning());
    auto unknown = output.setCurrentDevice(AudioDevice{"x", "No Such Device"});
    ASSERT_FALSE(unknown.has_value());
    EXPECT_EQ(output.currentDevice(), std::nullopt);
    ASSERT_TRUE(output.setCurrentDevice(std::nullopt).has_value());
}

TEST(SoundOutputFactory, SdlFallsBackToTheNullOutputWhenNoDeviceOpens) {
    test::ScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
    auto output = makeAudioOutput(AudioOutputChoice{}, &test::openSdl);
    CountingSource source;
    ASSERT_TRUE(output->start(source).has_value());
    EXPECT_TRUE(output->isRunning());
    EXPECT_TRUE(source.waitFor(2));
    output->stop();
    EXPECT_FALSE(output->isRunning());
}

// Without a server the direct output is asked for at the first start, and kept once made; while
// it is missing or fails, the null output plays, and a missing one is asked for again next time.
TEST(SoundOutputFactory, WithoutAServerTheDirectOutputIsMadeOnceAndTheNullOutputStandsIn) {
    test::TempDir dir;
    test::ScopedEnv pulse("PULSE_SERVER", ("unix:" + (dir / "no-server").string()).c_str());
    struct Case {
        const char* name;
        bool makes;
        bool starts;
        int openedAfterTwoStarts;
    };
    for (const Case& c : {Case{"missing", false, false, 2}, Case{"failing", true, false, 1},
                          Case{"playing", true, true, 1}}) {
        test::DirectOpener direct{c.makes, c.starts};
        auto output = makeAudioOutput(AudioOutputChoice{}, direct.opener());
        EXPECT_EQ(direct.opened, 0) << c.name;
        CountingSource source;
        for (int round = 0; round < 2; ++round) {
            ASSERT_TRUE(output->start(source).has_value()) << c.name;
            EXPECT_TRUE(output->isRunning()) << c.name;
            if (c.starts) {
                EXPECT_TRUE(direct.made->running) << c.name;
            } else {
                EXPECT_TRUE(source.waitFor(source.calls() + 2)) << c.name << " on the null output";
            }
            output->stop();
            EXPECT_FALSE(output->isRunning()) << c.name;
        }
        EXPECT_EQ(direct.opened, c.openedAfterTwoStarts) << c.name;
        if (c.makes) {
            EXPECT_EQ(direct.made->startCalls, 2) << c.name;
        }
    }
}

TEST(SoundOutputFactory, WithoutAServerTheDirectOutputChoosesTheDevice) {
    test::TempDir dir;
    test::ScopedEnv pulse("PULSE_SERVER", ("unix:" + (dir / "no-server").string()).c_str());
    const AudioDevice speakers{"spk", "Speakers"};
    test::DirectOpener direct;
    AudioOutputChoice choice;
    choice.periodFrames = 100;
    auto output = makeAudioOutput(choice, direct.opener());
    ASSERT_TRUE(output->setCurrentDevice(speakers).has_value());
    ASSERT_EQ(direct.opened, 1);
    EXPECT_EQ(direct.periodFrames, 100u);
    EXPECT_EQ(direct.made->device, speakers);
    EXPECT_EQ(output->currentDevice(), speakers);
    auto unknown = output->setCurrentDevice(AudioDevice{"x", "Nowhere"});
    ASSERT_FALSE(unknown.has_value());
    EXPECT_EQ(unknown.error().domain, "fake");
    EXPECT_EQ(output->currentDevice(), speakers);

    test::DirectOpener missing{false};
    auto without = makeAudioOutput(AudioOutputChoice{}, missing.opener());
    auto refused = without->setCurrentDevice(speakers);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().description, "the module is missing");
    EXPECT_EQ(without->currentDevice(), std::nullopt);
}

TEST(PulseOutputDevices, SpeakerPortOnAnInternalCardIsBuiltIn) {
    PulseSinkFacts facts;
    facts.hasPorts = true;
    facts.activePortName = "analog-output-speaker";
    facts.formFactor = "internal";
    EXPECT_TRUE(isBuiltInSpeakerSink(facts));
    facts.formFactor.clear();
    facts.bus = "pci";
    EXPECT_TRUE(isBuiltInSpeakerSink(facts));
    facts.activePortName = "analog-output-headphones";
    EXPECT_FALSE(isBuiltInSpeakerSink(facts));
    facts.activePortIsSpeaker = true;  // typed as a speaker whatever its name
    EXPECT_TRUE(isBuiltInSpeakerSink(facts));
    facts.bus = "usb";
    EXPECT_FALSE(isBuiltInSpeakerSink(facts));  // a USB speaker is not built in
    facts.activePortName = "hdmi-output-0";
    facts.activePortIsSpeaker = false;
    facts.bus = "pci";
    EXPECT_FALSE(isBuiltInSpeakerSink(facts));
}

TEST(PulseOutputDevices, SinksWithoutPortsCountByTheirOwnFormFactor) {
    PulseSinkFacts facts;
    facts.formFactor = "internal";
    EXPECT_TRUE(isBuiltInSpeakerSink(facts));
    facts.formFactor = "speaker";
    EXPECT_TRUE(isBuiltInSpeakerSink(facts));
    facts.formFactor = "headset";
    EXPECT_FALSE(isBuiltInSpeakerSink(facts));
    facts.formFactor.clear();
    EXPECT_FALSE(isBuiltInSpeakerSink(facts));
}

TEST(PulseOutputDevices, UnreachableServerGivesThePulseError) {
    test::TempDir dir;
    PulseOutputDevices devices("unix:" + (dir / "no-server").string(),
                               std::chrono::milliseconds(500));
    auto list = devices.outputDevices();
    ASSERT_FALSE(list.has_value());
    EXPECT_EQ(list.error().domain, "pulse");
    EXPECT_FALSE(list.error().description.empty());
    auto fallback = devices.defaultOutputDevice();
    ASSERT_FALSE(fallback.has_value());
    EXPECT_EQ(fallback.error().domain, "pulse");
}

}  // namespace
}  // namespace tapwell

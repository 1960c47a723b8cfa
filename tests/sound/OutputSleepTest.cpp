// When an output may sleep (SilenceTracker) and how the mixer wakes it.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "sound/Mixer.h"
#include "sound/SilenceTracker.h"

namespace tapwell {
namespace {

struct CountingWaker final : RenderWaker {
    std::atomic<int> wakes{0};
    void wake() noexcept override { wakes.fetch_add(1); }
};

SharedPcmBuffer level(float value, std::size_t frames) {
    auto buffer = std::make_shared<PcmBuffer>();
    buffer->samples.assign(frames, PcmBuffer::quantize(value));
    return buffer;
}

TEST(SilenceTracker, SaysSleepOnceWhenTheQuietRunReachesTheLimit) {
    struct Step {
        std::size_t frames;
        bool quiet;
        bool sleep;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases = {
        {"exactly at the limit", {{128, true, false}, {128, true, false}, {256, true, true}}},
        {"a period that crosses it", {{300, true, false}, {300, true, true}}},
        {"a sound starts the count over",
         {{400, true, false}, {128, false, false}, {400, true, false}, {112, true, true}}},
        {"only once", {{512, true, true}, {512, true, false}, {512, true, false}}},
        {"never while sounding", {{4096, false, false}, {4096, false, false}}},
        {"one huge period", {{1u << 30, true, true}}},
    };
    for (const Case& c : cases) {
        SilenceTracker tracker(512);
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            EXPECT_EQ(tracker.rendered(c.steps[i].frames, c.steps[i].quiet), c.steps[i].sleep)
                << c.name << ", step " << i;
        }
    }
    SilenceTracker tracker(512);
    EXPECT_TRUE(tracker.rendered(512, true));
    tracker.reset();  // woke up
    EXPECT_FALSE(tracker.rendered(256, true));
    EXPECT_TRUE(tracker.rendered(256, true));
}

TEST(MixerWake, QuietOnlyWithoutVoicesAndWaitingCommands) {
    Mixer mixer;
    std::vector<float> out(256);
    EXPECT_TRUE(mixer.isQuiet());
    mixer.setBusGains(1.0f, 1.0f, 0.0f);
    EXPECT_FALSE(mixer.isQuiet()) << "a waiting command";
    mixer.render(out.data(), out.size());
    EXPECT_TRUE(mixer.isQuiet());
    mixer.loop(Mixer::ambienceVoice, level(0.1f, 100), 1.0f);
    for (int i = 0; i < 4; ++i) {
        mixer.render(out.data(), out.size());
        EXPECT_FALSE(mixer.isQuiet()) << "ambience loops, even at zero gain";
    }
    mixer.stop(Mixer::ambienceVoice);
    mixer.render(out.data(), 16);
    EXPECT_FALSE(mixer.isQuiet()) << "still fading out";
    mixer.render(out.data(), out.size());
    EXPECT_TRUE(mixer.isQuiet());
    mixer.play(Mixer::typingVoice(0), level(0.5f, 300), 1.0f);
    mixer.render(out.data(), out.size());
    EXPECT_FALSE(mixer.isQuiet());
    mixer.render(out.data(), out.size());
    EXPECT_TRUE(mixer.isQuiet()) << "the sound ended";
}

TEST(MixerWake, ACommandWakesTheSleeperOnceAndStartsAtItsFirstFrame) {
    Mixer mixer;
    mixer.setBusGains(1.0f, 1.0f, 1.0f);
    std::vector<float> out(128);
    mixer.render(out.data(), out.size());
    CountingWaker waker;
    ASSERT_TRUE(mixer.armWake(waker));
    EXPECT_EQ(waker.wakes.load(), 0);

    auto ramp = std::make_shared<PcmBuffer>();
    for (int i = 0; i < 200; ++i) {
        ramp->samples.push_back(PcmBuffer::quantize(0.001f * static_cast<float>(i + 1)));
    }
    mixer.play(Mixer::typingVoice(0), ramp, 1.0f);
    EXPECT_EQ(waker.wakes.load(), 1);
    mixer.stop(Mixer::typingVoice(1));
    EXPECT_EQ(waker.wakes.load(), 1) << "woken once, then disarmed";

    // However long the output slept, the sound starts at its first frame.
    mixer.render(out.data(), out.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        ASSERT_FLOAT_EQ(out[i], PcmBuffer::toFloat(ramp->samples[i])) << i;
    }
}

TEST(MixerWake, ArmingWithACommandWaitingRefusesAndDisarmForgets) {
    Mixer mixer;
    CountingWaker waker;
    mixer.setBusGains(1.0f, 1.0f, 1.0f);
    EXPECT_FALSE(mixer.armWake(waker)) << "render first";
    mixer.play(Mixer::typingVoice(0), level(0.5f, 10), 1.0f);
    EXPECT_EQ(waker.wakes.load(), 0);

    std::vector<float> out(64);
    mixer.render(out.data(), out.size());
    ASSERT_TRUE(mixer.armWake(waker));
    mixer.disarmWake();
    mixer.play(Mixer::typingVoice(0), level(0.5f, 10), 1.0f);
    EXPECT_EQ(waker.wakes.load(), 0);
}

// The render thread sleeps and is woken the way an output does it, while another thread sends
// commands: no command may be left waiting while the render thread sleeps for good.
TEST(MixerWake, NoWakeIsLostBetweenThreads) {
    Mixer mixer(4096);
    struct FlagWaker final : RenderWaker {
        std::atomic<int> pending{0};
        void wake() noexcept override {
            pending.fetch_add(1);
            pending.notify_one();
        }
    } waker;
    constexpr int commands = 2000;
    std::atomic<bool> done{false};
    std::thread render([&] {
        std::vector<float> out(32);
        while (!done.load()) {
            mixer.render(out.data(), out.size());
            if (mixer.isQuiet() && mixer.armWake(waker)) {
                int seen = waker.pending.load();
                while (seen == 0 && !done.load()) {
                    waker.pending.wait(0);
                    seen = waker.pending.load();
                }
                waker.pending.store(0);
            }
        }
        mixer.disarmWake();
    });
    const SharedPcmBuffer buffer = level(0.5f, 8);
    for (int i = 0; i < commands; ++i) {
        while (!mixer.play(Mixer::typingVoice(static_cast<std::size_t>(i) % 12), buffer, 1.0f)) {
            std::this_thread::yield();
        }
        if (i % 64 == 0) {
            std::this_thread::yield();  // let the render thread fall asleep now and then
        }
    }
    // Every command is played out by a render thread that was woken for it, and every buffer
    // comes back.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (buffer.use_count() > 1) {
        if (std::chrono::steady_clock::now() > deadline) {
            done.store(true);
            waker.wake();
            render.join();
            FAIL() << "a command was left waiting while the render thread slept";
        }
        mixer.collectRetired();
        std::this_thread::yield();
    }
    done.store(true);
    waker.wake();
    render.join();
}

}  // namespace
}  // namespace tapwell

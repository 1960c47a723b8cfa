#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "sound/Mixer.h"
#include "sound/SpscQueue.h"

namespace tapwell {
namespace {

// A level as the mixer holds it: the nearest 16-bit sample.
float held(float value) {
    return PcmBuffer::toFloat(PcmBuffer::quantize(value));
}

SharedPcmBuffer level(float value, std::size_t frames) {
    auto buffer = std::make_shared<PcmBuffer>();
    buffer->samples.assign(frames, PcmBuffer::quantize(value));
    return buffer;
}

std::vector<float> render(Mixer& mixer, std::size_t frames) {
    std::vector<float> out(frames, -99.0f);
    mixer.render(out.data(), frames);
    return out;
}

TEST(SpscQueue, KeepsOrderAndReportsFull) {
    SpscQueue<int> queue(3);
    EXPECT_EQ(queue.capacity(), 3u);
    EXPECT_TRUE(queue.push(1));
    EXPECT_TRUE(queue.push(2));
    EXPECT_TRUE(queue.push(3));
    EXPECT_FALSE(queue.push(4));
    int value = 0;
    ASSERT_TRUE(queue.pop(value));
    EXPECT_EQ(value, 1);
    EXPECT_TRUE(queue.push(5));
    for (int expected : {2, 3, 5}) {
        ASSERT_TRUE(queue.pop(value));
        EXPECT_EQ(value, expected);
    }
    EXPECT_FALSE(queue.pop(value));
}

TEST(SpscQueue, HandsEveryItemAcrossThreadsInOrder) {
    SpscQueue<std::uint64_t> queue(64);
    constexpr std::uint64_t count = 200000;
    std::thread consumer([&] {
        std::uint64_t expected = 0;
        std::uint64_t value = 0;
        while (expected < count) {
            if (queue.pop(value)) {
                ASSERT_EQ(value, expected);
                ++expected;
            } else {
                std::this_thread::yield();
            }
        }
    });
    for (std::uint64_t i = 0; i < count;) {
        if (queue.push(i)) {
            ++i;
        } else {
            std::this_thread::yield();
        }
    }
    consumer.join();
    EXPECT_TRUE(queue.empty());
}

TEST(Mixer, SilentWithoutVoices) {
    Mixer mixer;
    for (float sample : render(mixer, 300)) {
        EXPECT_EQ(sample, 0.0f);
    }
}

TEST(Mixer, ScheduledSoundStartsAtTheNextBlockAtVoiceAndBusGain) {
    Mixer mixer;
    mixer.setBusGains(0.5f, 1.0f, 1.0f);
    render(mixer, 64);
    mixer.play(Mixer::typingVoice(3), level(0.4f, 100), 0.5f);
    auto out = render(mixer, 128);
    EXPECT_FLOAT_EQ(out[0], held(0.4f) * 0.5f * 0.5f);
    EXPECT_FLOAT_EQ(out[99], held(0.4f) * 0.25f);
    EXPECT_EQ(out[100], 0.0f);  // the sound ended
}

TEST(Mixer, BusesHaveTheirOwnGains) {
    Mixer mixer;
    mixer.setBusGains(0.25f, 0.5f, 0.75f);
    mixer.play(Mixer::previewVoice(1), level(0.2f, 10), 1.0f);
    EXPECT_FLOAT_EQ(render(mixer, 4)[0], held(0.2f) * 0.25f);
    mixer.play(Mixer::alertVoice(2), level(0.2f, 1000), 1.0f);
    mixer.stop(Mixer::previewVoice(1));
    EXPECT_NEAR(render(mixer, 200)[100], held(0.2f) * 0.5f, 1e-6);
    mixer.loop(Mixer::ambienceVoice, level(0.2f, 10), 1.0f);
    EXPECT_NEAR(render(mixer, 200)[150], held(0.2f) * (0.5f + 0.75f),
                1e-6);  // the alert still plays
}

TEST(Mixer, GainChangesRampOverFiveMilliseconds) {
    Mixer mixer;
    mixer.setBusGains(0.0f, 0.0f, 0.0f);
    mixer.loop(Mixer::typingVoice(0), level(1.0f, 64), 1.0f);
    render(mixer, 16);
    mixer.setBusGains(0.8f, 0.0f, 0.0f);
    auto out = render(mixer, Mixer::gainRampFrames + 10);
    EXPECT_GT(out[0], 0.0f);
    EXPECT_LT(out[0], 0.01f);
    EXPECT_NEAR(out[Mixer::gainRampFrames / 2 - 1], 0.4f, 0.01f);
    for (std::size_t i = 1; i < Mixer::gainRampFrames; ++i) {
        EXPECT_GE(out[i], out[i - 1]);
    }
    EXPECT_FLOAT_EQ(out[Mixer::gainRampFrames - 1], held(1.0f) * 0.8f);
    EXPECT_FLOAT_EQ(out[Mixer::gainRampFrames + 5], held(1.0f) * 0.8f);
}

TEST(Mixer, InterruptedSoundFadesOutOverAMillisecondWhileTheNewOneStarts) {
    Mixer mixer;
    mixer.setBusGains(1.0f, 1.0f, 1.0f);
    mixer.play(Mixer::typingVoice(0), level(0.5f, 4800), 1.0f);
    render(mixer, 100);
    mixer.play(Mixer::typingVoice(0), level(0.1f, 4800), 1.0f);
    auto out = render(mixer, 200);
    EXPECT_FLOAT_EQ(out[0],
                    held(0.1f) + held(0.5f));  // the old sound starts its fade at full level
    EXPECT_NEAR(out[Mixer::fadeOutFrames / 2], 0.1f + 0.25f, 0.02f);
    EXPECT_FLOAT_EQ(out[Mixer::fadeOutFrames], held(0.1f));
    for (std::size_t i = 1; i < Mixer::fadeOutFrames; ++i) {
        EXPECT_LE(out[i], out[i - 1]);
    }
}

TEST(Mixer, StopFadesTheVoiceToSilence) {
    Mixer mixer;
    mixer.setBusGains(1.0f, 1.0f, 1.0f);
    mixer.loop(Mixer::ambienceVoice, level(0.3f, 50), 1.0f);
    render(mixer, 500);
    mixer.stop(Mixer::ambienceVoice);
    auto out = render(mixer, 100);
    EXPECT_GT(out[0], 0.25f);
    EXPECT_EQ(out[Mixer::fadeOutFrames], 0.0f);
    EXPECT_EQ(out[99], 0.0f);
}

TEST(Mixer, LimiterPassesEverythingBelowFullScaleUnchanged) {
    Mixer mixer;
    mixer.setBusGains(1.0f, 1.0f, 1.0f);
    auto buffer = std::make_shared<PcmBuffer>();
    for (int i = 0; i < 2000; ++i) {
        buffer->samples.push_back(
            PcmBuffer::quantize(0.99f * std::sin(static_cast<float>(i) * 0.01f)));
    }
    mixer.play(Mixer::typingVoice(0), buffer, 1.0f);
    auto out = render(mixer, 2000);
    for (std::size_t i = 0; i < 2000; ++i) {
        ASSERT_EQ(out[i], PcmBuffer::toFloat(buffer->samples[i])) << i;
    }
}

// The limiter takes hold at the very frame the sum first passes full scale, also when that frame
// lies inside a stretch the mixer renders in one go, and not a frame earlier.
TEST(Mixer, TheLimiterCatchesTheFirstLoudFrameInsideABlock) {
    Mixer mixer;
    mixer.setBusGains(1.0f, 1.0f, 1.0f);
    mixer.play(Mixer::typingVoice(0), level(0.6f, 1000), 1.0f);
    render(mixer, 100);
    auto rising = std::make_shared<PcmBuffer>();
    rising->samples.assign(50, PcmBuffer::quantize(0.3f));
    rising->samples.resize(500, PcmBuffer::quantize(0.6f));
    mixer.play(Mixer::typingVoice(1), rising, 1.0f);
    const auto out = render(mixer, 100);  // frames 100 to 199, one block
    for (std::size_t i = 0; i < 50; ++i) {
        ASSERT_EQ(out[i], held(0.6f) + held(0.3f)) << i;
    }
    for (std::size_t i = 50; i < 100; ++i) {
        ASSERT_LE(std::fabs(out[i]), 1.0f) << i;
        ASSERT_GT(out[i], 0.999f) << i;
    }
}

TEST(Mixer, TwelveOverlappingVoicesNeverClip) {
    Mixer mixer;
    mixer.setBusGains(1.0f, 1.0f, 1.0f);
    for (std::size_t v = 0; v < Mixer::typingVoiceCount; ++v) {
        mixer.play(Mixer::typingVoice(v), level(0.9f, 4800), 1.0f);
    }
    auto loud = render(mixer, 4800);
    float peak = 0.0f;
    for (float sample : loud) {
        peak = std::max(peak, std::fabs(sample));
    }
    EXPECT_LE(peak, 1.0f);
    EXPECT_GT(peak, 0.99f);
    // After the release the limiter is back at unity: a quiet sound passes exactly.
    render(mixer, 48000);
    mixer.play(Mixer::typingVoice(0), level(0.3f, 10), 1.0f);
    EXPECT_EQ(render(mixer, 10)[0], held(0.3f));
}

TEST(Mixer, BuffersGoBackToTheProducerWhenVoicesLetGo) {
    Mixer mixer;
    mixer.setBusGains(1.0f, 1.0f, 1.0f);
    SharedPcmBuffer buffer = level(0.1f, 100);
    mixer.play(Mixer::typingVoice(0), buffer, 1.0f);
    render(mixer, 10);
    EXPECT_EQ(buffer.use_count(), 2);  // the voice still plays it
    render(mixer, 200);
    mixer.collectRetired();
    EXPECT_EQ(buffer.use_count(), 1);

    mixer.loop(Mixer::ambienceVoice, buffer, 1.0f);
    render(mixer, 300);
    mixer.stop(Mixer::ambienceVoice);
    render(mixer, 300);
    mixer.collectRetired();
    EXPECT_EQ(buffer.use_count(), 1);
}

TEST(Mixer, DropsCommandsWhenTheRenderThreadDoesNotRun) {
    Mixer mixer(7);
    SharedPcmBuffer buffer = level(0.1f, 100);
    int accepted = 0;
    for (int i = 0; i < 20; ++i) {
        accepted += mixer.play(Mixer::typingVoice(0), buffer, 1.0f) ? 1 : 0;
    }
    EXPECT_EQ(accepted, 7);
    EXPECT_EQ(mixer.droppedCommands(), 13u);
    render(mixer, 10);
    EXPECT_TRUE(mixer.play(Mixer::typingVoice(0), buffer, 1.0f));
}

TEST(Mixer, RendersWhileAnotherThreadSchedules) {
    Mixer mixer;
    mixer.setBusGains(1.0f, 1.0f, 1.0f);
    std::atomic<bool> done{false};
    std::thread renderer([&] {
        std::vector<float> out(256);
        while (!done.load()) {
            mixer.render(out.data(), out.size());
            for (float sample : out) {
                ASSERT_LE(std::fabs(sample), 1.0f);
            }
        }
    });
    SharedPcmBuffer a = level(0.5f, 300);
    SharedPcmBuffer b = level(-0.5f, 500);
    for (int i = 0; i < 20000; ++i) {
        mixer.play(Mixer::typingVoice(static_cast<std::size_t>(i) % 12), i % 2 ? a : b, 1.0f);
        if (i % 100 == 0) {
            mixer.setBusGains(static_cast<float>(i % 7) / 7.0f, 1.0f, 1.0f);
        }
    }
    done.store(true);
    renderer.join();
    // With the render thread gone, the producer may drain what is left.
    std::vector<float> out(48000);
    mixer.render(out.data(), out.size());
    mixer.collectRetired();
    EXPECT_EQ(a.use_count(), 1);
    EXPECT_EQ(b.use_count(), 1);
}

// A ramp, so that any slip of a frame shows in the output.
SharedPcmBuffer ramp(std::size_t frames, float scale) {
    auto buffer = std::make_shared<PcmBuffer>();
    for (std::size_t i = 0; i < frames; ++i) {
        buffer->samples.push_back(scale * static_cast<float>(i % 97) / 97.0f);
    }
    return buffer;
}

// Rendering again from a restored snapshot with a new command gives the frames of a mixer that got
// the command at that frame: voices cut off and fading, a gain ramp, a loop and the limiter all
// pick up where they were; without the loop, from 2000 on nothing sounds, and a rewind there
// starts from silence.
TEST(MixerRewind, RenderingAgainWithANewCommandMatchesAMixerThatGotItThere) {
    struct Case {
        std::uint64_t rewindTo;
        std::uint64_t expected;
    };
    // Rendered ahead to 3000; commands applied at 0 and 1100; committed at 700.
    const Case cases[] = {
        {1500, 1500},  // mid-block
        {1536, 1536},  // a block boundary
        {1100, 1100},  // the frame of the last command
        {900, 1100},   // before it: never, the command would be lost
        {300, 1100},   // before the committed frame
        {2048, 2048},  // the first block after the sounds ended
        {2600, 2600},  // within it
        {2999, 2999},  // the last frame rendered
        {5000, 3000},  // past the position: nothing to take back
    };
    SharedPcmBuffer loud = ramp(2000, 1.5f);
    SharedPcmBuffer loop = ramp(333, 0.4f);
    SharedPcmBuffer key = ramp(700, -0.9f);
    bool ambience = true;
    auto early = [&](Mixer& mixer) {
        mixer.setBusGains(0.8f, 1.0f, 0.5f);
        if (ambience) {
            mixer.loop(Mixer::ambienceVoice, loop, 1.0f);
        }
        mixer.play(Mixer::typingVoice(0), loud, 1.0f);
        mixer.play(Mixer::typingVoice(1), loud, 1.0f);  // together past full scale: limited
    };
    auto later = [&](Mixer& mixer) {
        mixer.setBusGains(0.3f, 1.0f, 0.9f);
        mixer.play(Mixer::typingVoice(1), key, 0.7f);
    };
    auto newCommand = [&](Mixer& mixer) {
        mixer.play(Mixer::typingVoice(0), key, 1.0f);  // cuts off what voice 0 plays
        mixer.stop(Mixer::ambienceVoice);
    };
    for (const Case& c : cases) {
        for (const bool withAmbience : {true, false}) {
            ambience = withAmbience;
            SCOPED_TRACE(testing::Message() << c.rewindTo << (ambience ? " with" : " without"));
            Mixer rewound;
            ASSERT_EQ(rewound.setRewindWindow(4096), 4096u);
            early(rewound);
            const auto first = render(rewound, 1100);
            later(rewound);
            const auto ahead = render(rewound, 1900);
            rewound.commit(700);
            ASSERT_EQ(rewound.position(), 3000u);
            ASSERT_EQ(rewound.rewindTo(c.rewindTo), c.expected);
            newCommand(rewound);
            const auto again = render(rewound, 2000);

            Mixer reference;
            early(reference);
            std::vector<float> expected = render(reference, 1100);
            later(reference);
            const auto upTo = render(reference, static_cast<std::size_t>(c.expected - 1100));
            expected.insert(expected.end(), upTo.begin(), upTo.end());
            newCommand(reference);
            const auto after = render(reference, 2000);
            expected.insert(expected.end(), after.begin(), after.end());

            std::vector<float> actual = first;
            actual.insert(actual.end(), ahead.begin(),
                          ahead.begin() + static_cast<long>(c.expected - 1100));
            actual.insert(actual.end(), again.begin(), again.end());
            ASSERT_EQ(actual.size(), expected.size());
            for (std::size_t i = 0; i < actual.size(); ++i) {
                ASSERT_EQ(actual[i], expected[i]) << "frame " << i;
            }
        }
    }
}

TEST(MixerRewind, WithoutAWindowNothingGoesBack) {
    Mixer mixer;
    render(mixer, 1000);
    EXPECT_EQ(mixer.rewindTo(500), 1000u);
    ASSERT_EQ(mixer.setRewindWindow(800), 800u);
    render(mixer, 2000);
    EXPECT_EQ(mixer.rewindTo(2300), 2300u);
    EXPECT_EQ(mixer.rewindTo(1500), 2200u);  // older than the window: its snapshots are gone
}

// A buffer that only a snapshot still refers to stays with the mixer until the committed frame
// passes that snapshot; a rewind then plays it again from where it was.
TEST(MixerRewind, KeepsABufferWhileASnapshotMayNeedItAndRetiresItAfter) {
    Mixer mixer;
    mixer.setRewindWindow(Mixer::maxRewindFrames);
    mixer.setBusGains(1.0f, 1.0f, 1.0f);
    std::weak_ptr<const PcmBuffer> watch;
    {
        SharedPcmBuffer buffer = ramp(600, 0.5f);
        watch = buffer;
        mixer.play(Mixer::typingVoice(2), std::move(buffer), 1.0f);
    }
    const auto first = render(mixer, 3000);  // the sound ends at 600
    mixer.collectRetired();
    ASSERT_FALSE(watch.expired());
    ASSERT_EQ(mixer.rewindTo(300), 300u);
    const auto again = render(mixer, 2700);
    for (std::size_t i = 0; i < again.size(); ++i) {
        ASSERT_EQ(again[i], first[300 + i]) << "frame " << 300 + i;
    }
    mixer.commit(700);  // a rewind to 700 starts from the snapshot of 512, which refers to it
    render(mixer, 128);
    mixer.collectRetired();
    EXPECT_FALSE(watch.expired());
    mixer.commit(768);
    render(mixer, 128);
    mixer.collectRetired();
    EXPECT_TRUE(watch.expired());
}

// Rewinds on the render thread while another thread schedules: every buffer comes back.
TEST(MixerRewind, RewindsWhileAnotherThreadSchedules) {
    Mixer mixer;
    std::atomic<bool> done{false};
    std::thread renderer([&] {
        mixer.setRewindWindow(4096);
        std::vector<float> out(128);
        std::uint64_t step = 0;
        while (!done.load()) {
            if (mixer.hasCommands()) {
                mixer.rewindTo(mixer.position() - (++step * 37) % 3000);
                mixer.commit(mixer.position() > 2000 ? mixer.position() - 2000 : 0);
            }
            mixer.render(out.data(), out.size());
            for (int i = 0; i < 8; ++i) {
                mixer.renderAhead(out.data(), out.size());
            }
        }
        mixer.setRewindWindow(0);
        std::vector<float> rest(48000);
        mixer.render(rest.data(), rest.size());
    });
    SharedPcmBuffer a = level(0.5f, 300);
    SharedPcmBuffer b = level(-0.5f, 5000);
    for (int i = 0; i < 20000; ++i) {
        mixer.play(Mixer::typingVoice(static_cast<std::size_t>(i) % 12), i % 2 ? a : b, 1.0f);
        if (i % 1000 == 0) {
            std::this_thread::yield();
        }
    }
    done.store(true);
    renderer.join();
    mixer.collectRetired();
    EXPECT_EQ(a.use_count(), 1);
    EXPECT_EQ(b.use_count(), 1);
}
}  // namespace
}  // namespace tapwell

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <future>
#include <numeric>

#include "SoundTestSupport.h"
#include "sound/OfflineAudioOutput.h"
#include "sound/SoundEngine.h"
#include "support/FakeClock.h"
#include "support/LogLines.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

using test::keyDownLevel;
using test::keyUpLevel;

constexpr std::size_t block = 256;

float gainOf(float decibels) {
    return std::pow(10.0f, decibels / 20.0f);
}

// Collects the preview's delayed notes so that a test fires them in the order it wants.
struct DelayedWork {
    double delay = 0;
    std::function<void()> fire;
};

// The key files of a test theme.
std::set<std::string> testKeyFiles() {
    return {"down0.wav", "down1.wav", "down2.wav", "down3.wav", "down4.wav", "down5.wav",
            "up0.wav",   "up1.wav",   "up2.wav",   "space.wav", "enter.wav", "backspace.wav"};
}

// Replaces a sample by a named pipe, so that decoding it waits until the test writes the returned
// bytes (the sample as it was) into the pipe.
std::string heldUpOnAPipe(const std::filesystem::path& file) {
    std::string bytes(std::filesystem::file_size(file), '\0');
    std::ifstream(file, std::ios::binary).read(bytes.data(), std::ssize(bytes));
    std::filesystem::remove(file);
    EXPECT_EQ(mkfifo(file.c_str(), 0600), 0);
    return bytes;
}

class SoundEngineTest : public ::testing::Test {
  protected:
    void SetUp() override { alpha = test::writeTestTheme(dir.path(), alphaOptions()); }

    static test::TestThemeOptions alphaOptions() {
        test::TestThemeOptions options;
        options.id = "alpha";
        options.typingGainDb = -6.0f;
        options.alertGainDb = -3.0f;
        options.keyUpRelativeDb = -10.0f;
        return options;
    }

    std::unique_ptr<SoundEngine> makeEngine(std::vector<LoadedTheme> themes,
                                            std::optional<std::string> preferred = std::nullopt) {
        SoundEngine::Dependencies dependencies;
        dependencies.output = output;
        dependencies.clock = &clock;
        dependencies.delayScheduler = [this](double delay, std::function<void()> fire) {
            std::lock_guard lock(delayedMutex);
            delayed.push_back({delay, std::move(fire)});
        };
        auto engine = SoundEngine::create(themes, preferred, std::move(dependencies));
        EXPECT_TRUE(engine.has_value());
        return engine ? std::move(*engine) : nullptr;
    }

    std::unique_ptr<SoundEngine> makeAlphaEngine() {
        auto engine = makeEngine({alpha});
        output->render(block);
        return engine;
    }

    // The first frame of the next block, after the engine handled everything before.
    float nextFrame(SoundEngine& engine) {
        engine.waitUntilIdle();
        return output->render(block)[0];
    }

    std::vector<DelayedWork> takeDelayed() {
        std::lock_guard lock(delayedMutex);
        return std::exchange(delayed, {});
    }

    test::TempDir dir;
    LoadedTheme alpha;
    std::shared_ptr<OfflineAudioOutput> output = std::make_shared<OfflineAudioOutput>(block);
    test::FakeClock clock{Date{800000000.0}};
    std::mutex delayedMutex;
    std::vector<DelayedWork> delayed;
};

const float alphaTyping = 0.7f * gainOf(-6.0f);

TEST_F(SoundEngineTest, KeyDownSoundsInTheNextBlockAtTypingVolumeTimesThemeGain) {
    auto engine = makeAlphaEngine();
    EXPECT_EQ(output->render(block)[0], 0.0f);
    engine->play({KeyKind::normal, true, 1.0});
    const auto out = output->render(block);
    EXPECT_FLOAT_EQ(out[0], keyDownLevel(0) * alphaTyping);
    EXPECT_FLOAT_EQ(out[block - 1], keyDownLevel(0) * alphaTyping);
}

TEST_F(SoundEngineTest, KeyDownPoolIsStrictlyCyclicAndSpecialKeysUseTheirOwnSamples) {
    auto engine = makeAlphaEngine();
    std::vector<float> heard;
    for (int i = 0; i < 7; ++i) {
        engine->play({KeyKind::normal, true, 1.0});
        heard.push_back(output->render(block)[0] / alphaTyping);
        output->render(48000);  // let it end
    }
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_NEAR(heard[i], keyDownLevel(i % 6), 1e-5) << i;
    }
    engine->play({KeyKind::space, true, 1.0});
    EXPECT_NEAR(output->render(block)[0] / alphaTyping, test::spaceLevel, 1e-5);
    output->render(48000);
    engine->play({KeyKind::enter, true, 1.0});
    EXPECT_NEAR(output->render(block)[0] / alphaTyping, test::enterLevel, 1e-5);
    output->render(48000);
    engine->play({KeyKind::delete_, true, 1.0});
    EXPECT_NEAR(output->render(block)[0] / alphaTyping, test::backspaceLevel, 1e-5);
    output->render(48000);
    // The special keys did not move the pool.
    engine->play({KeyKind::normal, true, 1.0});
    EXPECT_NEAR(output->render(block)[0] / alphaTyping, keyDownLevel(1), 1e-5);
}

TEST_F(SoundEngineTest, KeyUpPlaysTheNextKeyUpSampleAtTheKeyUpLevel) {
    auto engine = makeAlphaEngine();
    const float upGain = gainOf(-10.0f);
    engine->play({KeyKind::space, false, 1.0});  // not the space sample
    EXPECT_NEAR(output->render(block)[0], keyUpLevel(0) * upGain * alphaTyping, 1e-6);
    output->render(48000);
    engine->play({KeyKind::normal, false, 1.0});
    EXPECT_NEAR(output->render(block)[0], keyUpLevel(1) * upGain * alphaTyping, 1e-6);
    output->render(48000);
    // A key down after a key up plays at full voice volume again.
    engine->play({KeyKind::normal, true, 1.0});
    EXPECT_NEAR(output->render(block)[0], keyDownLevel(0) * alphaTyping, 1e-6);
}

TEST_F(SoundEngineTest, KeyUpsAreSilentWithAnEmptyKeyUpPool) {
    test::TestThemeOptions options;
    options.id = "bare";
    options.keyUpCount = 0;
    auto engine = makeEngine({test::writeTestTheme(dir.path(), options)});
    output->render(block);
    engine->play({KeyKind::normal, false, 1.0});
    EXPECT_EQ(output->render(block)[0], 0.0f);
}

TEST_F(SoundEngineTest, ThirteenthEventReusesTheFirstVoiceAndCutsItOff) {
    test::TestThemeOptions options = alphaOptions();
    options.id = "long";
    options.frames = 48000;  // long enough that every sound still plays
    auto engine = makeEngine({test::writeTestTheme(dir.path(), options)});
    engine->setTypingVolume(0.1f);  // keep the sum of twelve below full scale
    engine->waitUntilIdle();
    output->render(block);
    const float bus = 0.1f * gainOf(-6.0f);
    const float upGain = gainOf(-10.0f);
    float sum = 0.0f;
    for (std::size_t i = 0; i < 6; ++i) {  // downs and ups alike take voices
        engine->play({KeyKind::normal, true, 1.0});
        engine->play({KeyKind::normal, false, 1.0});
        sum += keyDownLevel(i) + keyUpLevel(i % 3) * upGain;
    }
    EXPECT_NEAR(output->render(block)[0], sum * bus, 1e-5);
    engine->play({KeyKind::space, true, 1.0});
    output->render(block);  // the first sound fades out within this block
    const float expected = sum - keyDownLevel(0) + test::spaceLevel;
    EXPECT_NEAR(output->render(block)[0], expected * bus, 1e-5);
}

TEST_F(SoundEngineTest, SofterLowersOnlyTheTypingBusTo045) {
    test::TestThemeOptions options;
    options.id = "flat";
    auto engine = makeEngine({test::writeTestTheme(dir.path(), options)});
    engine->setTypingVolume(1.0f);
    engine->setSofter(true);
    EXPECT_EQ(engine->busVolumes(), (BusVolumes{0.45f, 0.85f, 0.3f}));
    output->render(block * 2);  // past the gain ramp
    engine->play({KeyKind::normal, true, 1.0});
    EXPECT_FLOAT_EQ(output->render(block)[0], keyDownLevel(0) * 0.45f);
    engine->setSofter(false);
    EXPECT_EQ(engine->busVolumes().typing, 1.0f);
}

TEST_F(SoundEngineTest, TimedMuteSilencesEverythingUntilItEnds) {
    auto engine = makeAlphaEngine();
    engine->setEnabled(true, clock.now() + 60.0);
    EXPECT_EQ(engine->busVolumes(), (BusVolumes{0, 0, 0}));
    engine->play({KeyKind::normal, true, 1.0});
    engine->playAlert("rankUp");
    EXPECT_EQ(nextFrame(*engine), 0.0f);
    EXPECT_EQ(output->render(block)[0], 0.0f);

    clock.advance(60.0);  // the mute ends exactly now
    engine->refreshMute();
    const BusVolumes restored = engine->busVolumes();
    EXPECT_FLOAT_EQ(restored.typing, alphaTyping);
    EXPECT_FLOAT_EQ(restored.alert, 0.85f * gainOf(-3.0f));
    EXPECT_FLOAT_EQ(restored.ambience, 0.3f);
    output->render(block);
    engine->play({KeyKind::normal, true, 1.0});
    // The key press during the mute did not move the pool.
    EXPECT_FLOAT_EQ(output->render(block)[0], keyDownLevel(0) * alphaTyping);
}

TEST_F(SoundEngineTest, SwitchedOffSuspendedAndContextMutedStaySilent) {
    auto engine = makeAlphaEngine();
    engine->setEnabled(false, std::nullopt);
    engine->play({KeyKind::normal, true, 1.0});
    EXPECT_EQ(nextFrame(*engine), 0.0f);
    engine->setEnabled(true, std::nullopt);
    engine->setSuspended(true);
    engine->play({KeyKind::normal, true, 1.0});
    engine->playAlert("rankUp");
    EXPECT_EQ(nextFrame(*engine), 0.0f);
    EXPECT_EQ(engine->busVolumes(), (BusVolumes{0, 0, 0}));
    engine->setSuspended(false);
    engine->setContextMuted(true);
    EXPECT_EQ(engine->busVolumes(), (BusVolumes{0, 0, 0}));
    engine->setContextMuted(false);
    EXPECT_FLOAT_EQ(engine->busVolumes().typing, alphaTyping);
}

TEST_F(SoundEngineTest, AlertsPlayOnTheAlertBusAndUnknownAlertsAreSilent) {
    auto engine = makeAlphaEngine();
    engine->playAlert("downloadDone");
    EXPECT_EQ(nextFrame(*engine), 0.0f);
    engine->playAlert("rankUp");
    EXPECT_FLOAT_EQ(nextFrame(*engine), test::rankUpLevel * 0.85f * gainOf(-3.0f));
}

TEST_F(SoundEngineTest, VolumesAreClampedAndNaNGivesZero) {
    auto engine = makeAlphaEngine();
    engine->setTypingVolume(std::nanf(""));
    engine->setAlertVolume(7.0f);
    engine->setAmbience(false, -2.0f);
    const BusVolumes volumes = engine->busVolumes();
    EXPECT_EQ(volumes.typing, 0.0f);
    EXPECT_FLOAT_EQ(volumes.alert, gainOf(-3.0f));
    EXPECT_EQ(volumes.ambience, 0.0f);
    EXPECT_EQ(SoundEngine::clampVolume(0.25f), 0.25f);
    EXPECT_EQ(SoundEngine::clampVolume(-INFINITY), 0.0f);
    EXPECT_EQ(SoundEngine::clampVolume(INFINITY), 1.0f);
}

TEST_F(SoundEngineTest, AmbienceLoopsWhileOnAndAVolumeChangeDoesNotRestartIt) {
    auto engine = makeAlphaEngine();
    engine->setAmbience(true, 2.0f);
    engine->waitUntilIdle();  // the loop starts once it is decoded
    EXPECT_EQ(engine->busVolumes().ambience, 1.0f);
    output->render(Mixer::gainRampFrames);
    auto out = output->render(4800);  // longer than the sample: it loops
    EXPECT_FLOAT_EQ(out[0], test::ambienceLevel);
    EXPECT_FLOAT_EQ(out[4000], test::ambienceLevel);
    engine->setAmbience(true, 0.5f);
    engine->waitUntilIdle();
    out = output->render(block + Mixer::gainRampFrames);
    // A restart would overlap the fading old loop with the new one.
    for (float sample : out) {
        ASSERT_LE(sample, test::ambienceLevel + 1e-6f);
    }
    EXPECT_FLOAT_EQ(out.back(), test::ambienceLevel * 0.5f);
    engine->setAmbience(false, 0.5f);
    engine->waitUntilIdle();
    out = output->render(block);
    EXPECT_EQ(out[Mixer::fadeOutFrames], 0.0f);
}

TEST_F(SoundEngineTest, NewerPreviewCancelsTheOlderOnesNotes) {
    auto engine = makeAlphaEngine();
    engine->preview();
    engine->waitUntilIdle();
    auto first = takeDelayed();
    ASSERT_EQ(first.size(), 6u);
    EXPECT_DOUBLE_EQ(first[1].delay, 0.12);
    EXPECT_DOUBLE_EQ(first[5].delay, 0.6);
    first[0].fire();
    EXPECT_FLOAT_EQ(nextFrame(*engine), keyDownLevel(0) * alphaTyping);
    output->render(48000);

    engine->preview();
    engine->waitUntilIdle();
    auto second = takeDelayed();
    ASSERT_EQ(second.size(), 6u);
    for (std::size_t k = 1; k < 6; ++k) {
        first[k].fire();
    }
    EXPECT_EQ(nextFrame(*engine), 0.0f);
    second[1].fire();
    EXPECT_FLOAT_EQ(nextFrame(*engine), keyDownLevel(1) * alphaTyping);
    // Preview notes leave the key pools alone.
    output->render(48000);
    engine->play({KeyKind::normal, true, 1.0});
    EXPECT_FLOAT_EQ(output->render(block)[0], keyDownLevel(0) * alphaTyping);
}

TEST_F(SoundEngineTest, PreviewResetCutsOffItsVoices) {
    test::TestThemeOptions options = alphaOptions();
    options.id = "long";
    options.frames = 48000;
    auto engine = makeEngine({test::writeTestTheme(dir.path(), options)});
    output->render(block);
    engine->preview();
    engine->waitUntilIdle();
    auto notes = takeDelayed();
    notes[0].fire();
    EXPECT_GT(nextFrame(*engine), 0.0f);
    notes[5].fire();
    engine->waitUntilIdle();
    output->render(block);
    EXPECT_EQ(output->render(block)[0], 0.0f);
}

TEST_F(SoundEngineTest, GoingAwayWithAPreviewStillQueuedIsSafe) {
    // The queue's own timers this time: a preview that runs while the engine empties its queue
    // must not schedule its notes on a queue that is going away.
    for (int round = 0; round < 100; ++round) {
        SoundEngine::Dependencies dependencies;
        dependencies.output = output;
        dependencies.clock = &clock;
        auto engine = SoundEngine::create({alpha}, std::nullopt, std::move(dependencies));
        ASSERT_TRUE(engine.has_value());
        (*engine)->preview();
    }
}

TEST_F(SoundEngineTest, SelectingAnUnknownThemeChangesNothing) {
    test::TestThemeOptions options = alphaOptions();
    options.id = "long";
    options.frames = 48000;
    auto engine = makeEngine({test::writeTestTheme(dir.path(), options)});
    output->render(block);
    engine->preview();
    engine->waitUntilIdle();
    auto notes = takeDelayed();
    engine->play({KeyKind::normal, true, 1.0});
    const float playing = nextFrame(*engine);
    EXPECT_GT(playing, 0.0f);
    EXPECT_FALSE(engine->selectTheme("nope"));
    EXPECT_EQ(engine->selectedID(), "long");
    EXPECT_FLOAT_EQ(output->render(block)[0], playing);  // the voice plays on
    notes[1].fire();                                     // the preview is still current
    EXPECT_FLOAT_EQ(nextFrame(*engine), playing + keyDownLevel(1) * alphaTyping);
}

TEST_F(SoundEngineTest, SelectingAThemeStopsVoicesResetsPoolsAndAppliesItsGains) {
    test::TestThemeOptions options;
    options.id = "beta";
    options.typingGainDb = 0.0f;
    options.levelOffset = 0.05f;
    options.frames = 48000;
    auto engine = makeEngine({alpha, test::writeTestTheme(dir.path(), options)}, "alpha");
    EXPECT_EQ(engine->availableIDs(), (std::set<std::string>{"alpha", "beta"}));
    output->render(block);
    engine->play({KeyKind::normal, true, 1.0});
    engine->play({KeyKind::normal, true, 1.0});
    engine->preview();
    engine->waitUntilIdle();
    auto notes = takeDelayed();
    EXPECT_TRUE(engine->selectTheme("beta"));
    EXPECT_EQ(engine->selectedID(), "beta");
    EXPECT_FLOAT_EQ(engine->busVolumes().typing, 0.7f);
    notes[0].fire();  // the older preview is cancelled by the switch
    engine->waitUntilIdle();
    output->render(block * 2);
    EXPECT_EQ(output->render(block)[0], 0.0f);
    engine->play({KeyKind::normal, true, 1.0});
    EXPECT_FLOAT_EQ(output->render(block)[0], test::as16Bit(keyDownLevel(0) + 0.05f) * 0.7f);
}

// Every theme's keys are decoded up front; an alert of the selected theme once it is asked for,
// and the ambience only while the rain is on. A switch plays the new theme's keys at once; an
// alert asked for while its sample is decoded (the loader is held up on a pipe here) plays once
// the sample arrives, and only once however often it was asked for.
TEST_F(SoundEngineTest, AlertsAreDecodedWhenFirstAskedForAndAmbienceWhileTheRainIsOn) {
    test::TestThemeOptions options;
    options.id = "beta";
    options.typingGainDb = 0.0f;
    options.alertGainDb = 0.0f;
    options.levelOffset = 0.05f;
    const LoadedTheme beta = test::writeTestTheme(dir.path(), options);
    const std::string bytes = heldUpOnAPipe(beta.directory / "rankup.wav");

    auto engine = makeEngine({alpha, beta}, "alpha");
    const std::set<std::string> keys = testKeyFiles();
    auto with = [&keys](std::initializer_list<const char*> more) {
        std::set<std::string> names = keys;
        names.insert(more.begin(), more.end());
        return names;
    };
    struct Step {
        std::function<void()> action;
        std::set<std::string> alphaFiles;
        std::set<std::string> betaFiles;
    };
    const std::vector<Step> steps = {
        {[] {}, keys, keys},
        {[&] { engine->playAlert("rankUp"); }, with({"rankup.wav"}), keys},
        {[&] { engine->setAmbience(true, 1.0f); }, with({"rankup.wav", "ambience.wav"}), keys},
        {[&] { engine->setAmbience(false, 1.0f); }, with({"rankup.wav"}), keys},
        {[&] { engine->playAlert("capsOn"); }, with({"rankup.wav", "capson.wav"}), keys},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        steps[i].action();
        engine->waitUntilIdle();
        EXPECT_EQ(engine->decodedFiles("alpha"), steps[i].alphaFiles) << i;
        EXPECT_EQ(engine->decodedFiles("beta"), steps[i].betaFiles) << i;
    }

    output->render(48000);  // the alerts have ended
    ASSERT_TRUE(engine->selectTheme("beta"));
    EXPECT_EQ(engine->decodedFiles("alpha"), keys);
    output->render(block * 2);  // past the gain ramp
    engine->play({KeyKind::normal, true, 1.0});
    EXPECT_FLOAT_EQ(output->render(block)[0], test::as16Bit(keyDownLevel(0) + 0.05f) * 0.7f);
    output->render(48000);
    engine->playAlert("rankUp");  // its loader now waits for the pipe
    engine->playAlert("rankUp");
    EXPECT_EQ(output->render(block)[0], 0.0f);

    auto writer = std::async(std::launch::async, [&] {
        std::ofstream(beta.directory / "rankup.wav", std::ios::binary) << bytes;
    });
    ASSERT_EQ(writer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FLOAT_EQ(nextFrame(*engine), test::as16Bit(test::rankUpLevel + 0.05f) * 0.85f);
    EXPECT_EQ(engine->decodedFiles("beta"), with({"rankup.wav"}));
}

// An alert still being decoded when another theme is selected is not played by the new one.
TEST_F(SoundEngineTest, AThemeSwitchDropsAnAlertStillBeingDecoded) {
    test::TestThemeOptions options;
    options.id = "beta";
    const LoadedTheme beta = test::writeTestTheme(dir.path(), options);
    const std::string bytes = heldUpOnAPipe(beta.directory / "rankup.wav");
    auto engine = makeEngine({alpha, beta}, "beta");
    ASSERT_EQ(engine->availableIDs().size(), 2u);  // the loader has nothing else to do

    engine->playAlert("rankUp");
    ASSERT_TRUE(engine->selectTheme("alpha"));
    auto writer = std::async(std::launch::async, [&] {
        std::ofstream(beta.directory / "rankup.wav", std::ios::binary) << bytes;
    });
    ASSERT_EQ(writer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    engine->waitUntilIdle();
    EXPECT_EQ(engine->decodedFiles("beta"), testKeyFiles());

    output->render(48000);
    engine->playAlert("capsOn");
    EXPECT_FLOAT_EQ(nextFrame(*engine), test::capsOnLevel * 0.85f * gainOf(-3.0f));
    engine->waitUntilIdle();
    std::set<std::string> decoded = testKeyFiles();
    decoded.insert("capson.wav");
    EXPECT_EQ(engine->decodedFiles("alpha"), decoded);
}

// A broken alert file is decoded (and logged) once per selection however often the alert is
// asked for, stays silent, and leaves the theme's other alerts alone.
TEST_F(SoundEngineTest, AnAlertThatFailsToDecodeIsLoggedOnceAndStaysSilent) {
    std::ofstream(alpha.directory / "rankup.wav", std::ios::binary | std::ios::trunc)
        << "not a sound";
    test::LogLines log(LogCategory::audio);
    auto engine = makeAlphaEngine();
    engine->playAlert("rankUp");
    engine->playAlert("rankUp");
    EXPECT_EQ(nextFrame(*engine), 0.0f);
    engine->playAlert("rankUp");
    EXPECT_EQ(nextFrame(*engine), 0.0f);
    EXPECT_EQ(log.containing("\"rankup.wav\" cannot be decoded").size(), 1u);
    engine->playAlert("capsOn");
    EXPECT_FLOAT_EQ(nextFrame(*engine), test::capsOnLevel * 0.85f * gainOf(-3.0f));
}

TEST_F(SoundEngineTest, AddedThemesBecomeSelectableAndReplaceTheSelectedOneInPlace) {
    auto engine = makeAlphaEngine();
    test::TestThemeOptions options;
    options.id = "gamma";
    options.levelOffset = 0.05f;
    const LoadedTheme gamma = test::writeTestTheme(dir.path() / "imported", options);
    std::filesystem::remove(gamma.directory / "down2.wav");
    EXPECT_FALSE(engine->addTheme(gamma).has_value());  // nothing half-added
    EXPECT_FALSE(engine->selectTheme("gamma"));
    const LoadedTheme complete = test::writeTestTheme(dir.path() / "imported-again", options);
    ASSERT_TRUE(engine->addTheme(complete).has_value());
    EXPECT_EQ(engine->availableIDs(), (std::set<std::string>{"alpha", "gamma"}));
    ASSERT_TRUE(engine->selectTheme("gamma"));
    output->render(block * 2);  // past the gain ramp
    engine->play({KeyKind::normal, true, 1.0});
    EXPECT_FLOAT_EQ(nextFrame(*engine), test::as16Bit(keyDownLevel(0) + 0.05f) * 0.7f);

    // Importing a theme of the selected id again: its samples play from the next key on.
    options.levelOffset = 0.08f;
    ASSERT_TRUE(engine->addTheme(test::writeTestTheme(dir.path() / "third", options)).has_value());
    output->render(block * 10);  // the earlier key's sample has ended
    engine->play({KeyKind::normal, true, 1.0});
    EXPECT_FLOAT_EQ(nextFrame(*engine), test::as16Bit(keyDownLevel(0) + 0.08f) * 0.7f);

    // A theme found unplayable later is withdrawn, but never while it plays.
    EXPECT_FALSE(engine->removeTheme("gamma"));
    ASSERT_TRUE(engine->selectTheme("alpha"));
    EXPECT_TRUE(engine->removeTheme("gamma"));
    EXPECT_FALSE(engine->selectTheme("gamma"));
    EXPECT_EQ(engine->availableIDs(), (std::set<std::string>{"alpha"}));
}

TEST_F(SoundEngineTest, ChoosesThePreferredThenTheFirstDefaultThenTheSmallestID) {
    test::TestThemeOptions options;
    options.id = "delta";
    options.isDefault = true;
    LoadedTheme delta = test::writeTestTheme(dir.path(), options);
    options.id = "charlie";
    LoadedTheme charlie = test::writeTestTheme(dir.path(), options);
    options.id = "bravo";
    options.isDefault = false;
    LoadedTheme bravo = test::writeTestTheme(dir.path(), options);

    EXPECT_EQ(makeEngine({bravo, delta, charlie}, "bravo")->selectedID(), "bravo");
    EXPECT_EQ(makeEngine({bravo, delta, charlie}, "missing")->selectedID(), "delta");
    // The first default fails to prepare: the smallest prepared id wins, not the second default.
    std::filesystem::remove(delta.directory / "space.wav");
    auto engine = makeEngine({bravo, delta, charlie});
    EXPECT_EQ(engine->selectedID(), "bravo");
    EXPECT_EQ(engine->availableIDs(), (std::set<std::string>{"bravo", "charlie"}));
    // The theme that failed is named with its file, for the catalogue to show.
    const auto unavailable = engine->unavailableThemes();
    ASSERT_EQ(unavailable.size(), 1u);
    const std::string& reason = unavailable.at("delta");
    EXPECT_TRUE(reason.starts_with("\"space.wav\" cannot be decoded: ")) << reason;
}

TEST_F(SoundEngineTest, FailsWithoutAnyPreparedTheme) {
    std::filesystem::remove(alpha.directory / "down3.wav");
    SoundEngine::Dependencies dependencies;
    dependencies.output = output;
    auto engine = SoundEngine::create({alpha}, std::nullopt, std::move(dependencies));
    ASSERT_FALSE(engine.has_value());
    EXPECT_EQ(engine.error(), SoundEngineError(ThemeError::defaultThemeUnavailable()));
    EXPECT_EQ(describe(engine.error()), "defaultThemeUnavailable");
}

TEST_F(SoundEngineTest, FailsWithTheOutputsStartError) {
    const Error refused{"sdl", -1, "No such audio device"};
    output->failNextStarts(refused);
    SoundEngine::Dependencies dependencies;
    dependencies.output = output;
    auto engine = SoundEngine::create({alpha}, std::nullopt, std::move(dependencies));
    ASSERT_FALSE(engine.has_value());
    EXPECT_EQ(engine.error(), SoundEngineError(refused));
}

TEST_F(SoundEngineTest, RestartsAfterAConfigurationChange) {
    auto engine = makeAlphaEngine();
    engine->setAmbience(true, 1.0f);
    engine->waitUntilIdle();
    EXPECT_EQ(output->startCount(), 1);
    output->notifyConfigurationChange();
    engine->waitUntilIdle();
    EXPECT_EQ(output->startCount(), 2);
    EXPECT_TRUE(output->isRunning());
    output->render(block);
    EXPECT_FLOAT_EQ(output->render(block)[0], test::ambienceLevel);  // the loop came back

    // A failed restart leaves the output stopped; key sounds are skipped until the next change.
    output->failNextStarts(Error{"sdl", -1, "gone"});
    output->notifyConfigurationChange();
    engine->waitUntilIdle();
    EXPECT_FALSE(output->isRunning());
    output->failNextStarts(std::nullopt);
    engine->play({KeyKind::normal, true, 1.0});
    output->notifyConfigurationChange();
    engine->waitUntilIdle();
    EXPECT_TRUE(output->isRunning());
    output->render(48000);  // past the limiter's release after the loop's crossfade
    const auto out = output->render(block);
    EXPECT_FLOAT_EQ(out[0], test::ambienceLevel);  // only the ambience: the key was skipped
}

TEST_F(SoundEngineTest, PlaysFromSeveralThreadsWhileSettersRun) {
    auto engine = makeAlphaEngine();
    std::atomic<bool> done{false};
    std::thread renderer([&] {
        while (!done.load()) {
            output->render(block);
        }
    });
    std::thread keys([&] {
        for (int i = 0; i < 2000; ++i) {
            engine->play({i % 3 ? KeyKind::normal : KeyKind::space, i % 2 == 0, 1.0});
        }
    });
    for (int i = 0; i < 500; ++i) {
        engine->setTypingVolume(static_cast<float>(i % 10) / 10.0f);
        engine->play({KeyKind::normal, true, 1.0});
        if (i % 100 == 0) {
            engine->selectTheme("alpha");
            engine->playAlert("rankUp");
        }
    }
    keys.join();
    engine->waitUntilIdle();
    done.store(true);
    renderer.join();
    // Still in a consistent state: the next key sounds at the last volume. (A gain change that
    // met a full command queue is sent again by the next refresh.)
    output->render(48000);
    engine->setTypingVolume(1.0f);
    engine->refreshMute();
    engine->waitUntilIdle();
    output->render(48000);
    engine->play({KeyKind::space, true, 1.0});
    EXPECT_NEAR(output->render(block)[0], test::spaceLevel * gainOf(-6.0f), 1e-6);
}

}  // namespace
}  // namespace tapwell

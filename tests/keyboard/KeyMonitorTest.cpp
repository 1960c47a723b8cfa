#include "keyboard/KeyMonitor.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <spdlog/sinks/ringbuffer_sink.h>

#include <array>
#include <future>
#include <string>
#include <vector>

#include "FakeKeyTap.h"
#include "core/Log.h"
#include "keyboard/KeyCodes.h"

namespace tapwell {
namespace {

using test::FakeKeyTap;
using namespace std::chrono_literals;

KeyTapEvent press(std::int64_t code, std::int64_t ns = 0) {
    return {code, KeyTapAction::press, ns};
}
KeyTapEvent release(std::int64_t code, std::int64_t ns = 0) {
    return {code, KeyTapAction::release, ns};
}
KeyTapEvent repeat(std::int64_t code, std::int64_t ns = 0) {
    return {code, KeyTapAction::repeat, ns};
}

// What the monitor reported, in order, from its worker thread.
struct Recorder {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<KeyActivity> keys;
    std::vector<bool> availability;
    std::vector<bool> caps;
    std::vector<std::string> threadNames;

    void attach(KeyMonitor& monitor) {
        monitor.onKey = [this](KeyActivity activity) {
            std::array<char, 32> name{};
            pthread_getname_np(pthread_self(), name.data(), name.size());
            std::lock_guard lock(mutex);
            keys.push_back(activity);
            threadNames.emplace_back(name.data());
            changed.notify_all();
        };
        monitor.onAvailability = [this](bool available) {
            std::lock_guard lock(mutex);
            availability.push_back(available);
            changed.notify_all();
        };
        monitor.onCapsLock = [this](bool isOn) {
            std::lock_guard lock(mutex);
            caps.push_back(isOn);
            changed.notify_all();
        };
    }
    bool waitFor(auto&& done) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 5s, [&] { return done(*this); });
    }
    std::vector<KeyActivity> keysNow() {
        std::lock_guard lock(mutex);
        return keys;
    }
};

class KeyMonitorTest : public ::testing::Test {
  protected:
    // A quick refresh so availability changes show up at once; the loop itself is unchanged.
    std::unique_ptr<KeyMonitor> makeMonitor(KeyMonitor::Options options = fastOptions()) {
        auto monitor =
            std::make_unique<KeyMonitor>(std::make_unique<FakeKeyTap>(state), std::move(options));
        recorder.attach(*monitor);
        return monitor;
    }
    static KeyMonitor::Options fastOptions() {
        KeyMonitor::Options options;
        options.refreshInterval = 5ms;
        return options;
    }
    // Waits until the worker has run `n` more refreshes than now.
    void waitRefreshes(int n) {
        int target = 0;
        state->set([&](FakeKeyTap::State& s) { target = s.refreshCount + n; });
        ASSERT_TRUE(state->waitFor([&](auto& s) { return s.refreshCount >= target; }));
    }
    // Waits until the worker has handled everything queued so far.
    void drain() {
        ASSERT_TRUE(state->waitFor([](auto& s) { return s.input.empty(); }));
        waitRefreshes(1);  // a refresh runs after the delivery it follows in the loop
    }

    std::shared_ptr<FakeKeyTap::State> state = std::make_shared<FakeKeyTap::State>();
    Recorder recorder;
};

TEST_F(KeyMonitorTest, DeliversPressesAndReleasesInOrderWithTheirOwnTimeStampsOnItsThread) {
    state->available = true;
    auto monitor = makeMonitor();
    monitor->start();
    state->push(press(keycode::a, 1'500'000'000));
    state->push(press(keycode::space, 1'600'000'000));
    state->push(release(keycode::a, 1'700'000'000));
    state->push(release(keycode::space, 1'800'000'000));
    state->push(press(keycode::enter, 2'000'000'001));
    ASSERT_TRUE(recorder.waitFor([](auto& r) { return r.keys.size() == 5; }));
    const std::vector<KeyActivity> expected = {
        {KeyKind::normal, true, 1.5},        {KeyKind::space, true, 1.6},
        {KeyKind::normal, false, 1.7},       {KeyKind::space, false, 1.8},
        {KeyKind::enter, true, 2.000000001},
    };
    const auto keys = recorder.keysNow();
    ASSERT_EQ(keys.size(), expected.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(keys[i].kind, expected[i].kind) << i;
        EXPECT_EQ(keys[i].isDown, expected[i].isDown) << i;
        EXPECT_DOUBLE_EQ(keys[i].timestamp, expected[i].timestamp) << i;
    }
    // On the named worker thread: Linux keeps 15 characters of "com.tapwell.key-monitor"
    // without its "com." prefix.
    std::lock_guard lock(recorder.mutex);
    EXPECT_EQ(recorder.threadNames.front(), "tapwell.key-mon");
}

TEST_F(KeyMonitorTest, RepeatsModifiersAndStrayReleasesGiveNothing) {
    state->available = true;
    auto monitor = makeMonitor();
    monitor->start();
    state->push(release(keycode::k));  // its press was never seen
    state->push(press(keycode::leftShift));
    state->push(press(keycode::a));
    state->push(repeat(keycode::a));
    state->push(repeat(keycode::a));
    state->push(release(keycode::a));
    state->push(release(keycode::leftShift));
    state->push(press(keycode::capsLock));
    state->push(release(keycode::capsLock));
    drain();
    const auto keys = recorder.keysNow();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_TRUE(keys[0].isDown);
    EXPECT_FALSE(keys[1].isDown);
}

TEST_F(KeyMonitorTest, SecureInputDropsKeysAndForgetsHeldOnes) {
    state->available = true;
    auto monitor = makeMonitor();
    monitor->start();
    state->push(press(keycode::a));
    ASSERT_TRUE(recorder.waitFor([](auto& r) { return r.keys.size() == 1; }));

    state->set([](auto& s) { s.secureInput = true; });
    state->push(press(keycode::k));  // typed into the password prompt
    state->push(release(keycode::k));
    drain();
    state->set([](auto& s) { s.secureInput = false; });
    state->push(release(keycode::a));  // held across the prompt: its release stays silent
    state->push(press(keycode::a));
    drain();
    const auto keys = recorder.keysNow();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_TRUE(keys[1].isDown);
}

TEST_F(KeyMonitorTest, RefreshForgetsHeldKeysWhileSecureInputLasts) {
    state->available = true;
    auto monitor = makeMonitor();
    monitor->start();
    state->push(press(keycode::a));
    ASSERT_TRUE(recorder.waitFor([](auto& r) { return r.keys.size() == 1; }));
    state->set([](auto& s) { s.secureInput = true; });
    waitRefreshes(2);
    state->set([](auto& s) { s.secureInput = false; });
    state->push(release(keycode::a));
    drain();
    EXPECT_EQ(recorder.keysNow().size(), 1u);
}

TEST_F(KeyMonitorTest, MissedEventsForgetHeldKeys) {
    state->available = true;
    auto monitor = makeMonitor();
    monitor->start();
    state->push(press(keycode::a));
    state->push(FakeKeyTap::Missed{});
    state->push(release(keycode::a));  // lost in the gap for all the monitor knows
    state->push(press(keycode::a));
    drain();
    const auto keys = recorder.keysNow();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_TRUE(keys[0].isDown);
    EXPECT_TRUE(keys[1].isDown);
}

TEST_F(KeyMonitorTest, AvailabilityIsReportedAndLoggedOncePerChange) {
    auto sink = std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(32);
    auto& log = logger(LogCategory::keyboardPermission);
    const auto oldLevel = log.level();
    log.sinks().push_back(sink);
    log.set_level(spdlog::level::info);
    {
        auto monitor = makeMonitor();
        monitor->start();
        ASSERT_TRUE(recorder.waitFor([](auto& r) { return r.availability.size() == 1; }));
        waitRefreshes(5);  // retried every refresh, reported once
        state->set([](auto& s) { s.available = true; });
        ASSERT_TRUE(recorder.waitFor([](auto& r) { return r.availability.size() == 2; }));
        waitRefreshes(5);
        state->set([](auto& s) { s.available = false; });
        ASSERT_TRUE(recorder.waitFor([](auto& r) { return r.availability.size() == 3; }));
        waitRefreshes(3);
    }
    log.sinks().pop_back();
    log.set_level(oldLevel);
    {
        std::lock_guard lock(recorder.mutex);
        EXPECT_EQ(recorder.availability, (std::vector<bool>{false, true, false}));
    }
    const auto lines = sink->last_raw();
    ASSERT_EQ(lines.size(), 3u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(
            std::string(lines[i].payload.data(), lines[i].payload.size()),
            i == 1 ? "Keyboard listener available: true" : "Keyboard listener available: false");
        EXPECT_EQ(lines[i].level, spdlog::level::info);
    }
}

TEST_F(KeyMonitorTest, LosingTheSourceClosesTheTapAndForgetsHeldKeys) {
    state->available = true;
    auto monitor = makeMonitor();
    monitor->start();
    state->push(press(keycode::a));
    ASSERT_TRUE(recorder.waitFor([](auto& r) { return r.keys.size() == 1; }));
    state->set([](auto& s) { s.available = false; });
    ASSERT_TRUE(state->waitFor([](auto& s) { return s.closeCount == 1; }));
    state->set([](auto& s) { s.available = true; });
    ASSERT_TRUE(recorder.waitFor([](auto& r) { return r.availability.size() == 3; }));
    state->push(release(keycode::a));
    drain();
    EXPECT_EQ(recorder.keysNow().size(), 1u);
}

TEST_F(KeyMonitorTest, CapsLockIsReportedOnceWhetherSeenAsEventOrByThePoll) {
    state->capsLock = false;
    state->available = true;
    auto monitor = makeMonitor();
    monitor->start();
    waitRefreshes(2);
    // The event and the next poll both say "on": one report.
    state->set([](auto& s) { s.capsLock = true; });
    state->push(FakeKeyTap::Caps{true});
    ASSERT_TRUE(recorder.waitFor([](auto& r) { return r.caps.size() == 1; }));
    waitRefreshes(3);
    // Switched off while no event came: the poll finds it.
    state->set([](auto& s) { s.capsLock = false; });
    ASSERT_TRUE(recorder.waitFor([](auto& r) { return r.caps.size() == 2; }));
    waitRefreshes(3);
    // A source that cannot tell changes nothing.
    state->set([](auto& s) { s.capsLock = std::nullopt; });
    waitRefreshes(3);
    std::lock_guard lock(recorder.mutex);
    EXPECT_EQ(recorder.caps, (std::vector<bool>{true, false}));
}

TEST_F(KeyMonitorTest, CapsLockOnAtCreationIsNotReportedAsAChange) {
    state->capsLock = true;
    state->available = true;
    auto monitor = makeMonitor();
    monitor->start();
    state->push(FakeKeyTap::Caps{true});
    waitRefreshes(3);
    std::lock_guard lock(recorder.mutex);
    EXPECT_TRUE(recorder.caps.empty());
}

TEST_F(KeyMonitorTest, StopBeforeTheLoopExistsEndsTheWorkerWithoutTouchingTheTap) {
    std::promise<void> stopped;
    auto options = fastOptions();
    options.workerStarted = [future = stopped.get_future().share()] { future.wait(); };
    auto monitor = makeMonitor(options);
    state->set([](auto& s) { s.capsQueries = 0; });
    monitor->start();
    EXPECT_TRUE(monitor->isRunning());
    monitor->stop();
    stopped.set_value();
    monitor->join();
    EXPECT_FALSE(monitor->isRunning());
    std::lock_guard lock(state->mutex);
    EXPECT_EQ(state->refreshCount, 0);
    EXPECT_EQ(state->closeCount, 0);
    EXPECT_EQ(state->capsQueries, 0);
    EXPECT_TRUE(recorder.availability.empty());
}

TEST_F(KeyMonitorTest, StopWhileRunningClosesTheTapAndEnds) {
    state->available = true;
    KeyMonitor::Options options;  // the real one-second refresh: the stop must not wait for it
    auto monitor = makeMonitor(options);
    monitor->start();
    ASSERT_TRUE(recorder.waitFor([](auto& r) { return r.availability.size() == 1; }));
    monitor->stop();
    monitor->join();
    EXPECT_FALSE(monitor->isRunning());
    std::lock_guard lock(state->mutex);
    EXPECT_EQ(state->closeCount, 1);
}

TEST_F(KeyMonitorTest, StopIsNoticedWithinALoopSliceEvenWithoutAWakeUp) {
    state->available = true;
    state->wakeWorks = false;
    auto options = fastOptions();
    options.refreshInterval = 1h;
    options.loopSlice = 20ms;
    auto monitor = makeMonitor(options);
    monitor->start();
    ASSERT_TRUE(state->waitFor([](auto& s) { return s.waitCount > 0; }));
    monitor->stop();
    monitor->join();
    std::lock_guard lock(state->mutex);
    EXPECT_EQ(state->closeCount, 1);
}

TEST_F(KeyMonitorTest, StartWhileRunningDoesNothingAndStartAfterStopRunsAgain) {
    state->available = true;
    auto options = fastOptions();
    options.refreshInterval = 1h;  // only the initial refresh of each worker
    auto monitor = makeMonitor(options);
    monitor->start();
    ASSERT_TRUE(state->waitFor([](auto& s) { return s.refreshCount == 1; }));
    monitor->start();
    state->push(press(keycode::a));
    ASSERT_TRUE(recorder.waitFor([](auto& r) { return r.keys.size() == 1; }));
    EXPECT_EQ(state->refreshCount, 1);

    monitor->stop();
    monitor->join();
    monitor->start();
    ASSERT_TRUE(state->waitFor([](auto& s) { return s.refreshCount == 2; }));
    // The filter was emptied when the tap closed: A's release is a stray now.
    state->push(release(keycode::a));
    state->push(press(keycode::space));
    ASSERT_TRUE(recorder.waitFor([](auto& r) { return r.keys.size() == 2; }));
    EXPECT_EQ(recorder.keysNow()[1].kind, KeyKind::space);
    // Availability did not change across the restart.
    std::lock_guard lock(recorder.mutex);
    EXPECT_EQ(recorder.availability, (std::vector<bool>{true}));
}

TEST_F(KeyMonitorTest, DestroyingARunningMonitorStopsAndJoinsIt) {
    state->available = true;
    auto monitor = makeMonitor();
    monitor->start();
    ASSERT_TRUE(recorder.waitFor([](auto& r) { return r.availability.size() == 1; }));
    monitor.reset();
    std::lock_guard lock(state->mutex);
    EXPECT_EQ(state->closeCount, 1);
}

TEST_F(KeyMonitorTest, StopAndJoinWithoutStartAreHarmless) {
    auto monitor = makeMonitor();
    monitor->stop();
    monitor->join();
    EXPECT_FALSE(monitor->isRunning());
}

}  // namespace
}  // namespace tapwell

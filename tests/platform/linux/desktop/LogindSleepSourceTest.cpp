// Sleep and wake on a fake logind.

#include <spdlog/sinks/ringbuffer_sink.h>

#include "BusFixture.h"
#include "core/Log.h"
#include "platform/linux/desktop/LogindSleepSource.h"
#include "stats/StatsStore.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

constexpr const char* login1 = "org.freedesktop.login1";
constexpr const char* controlInterface = "com.tapwell.FakeLogin1";

class LogindSleepTest : public test::BusFixture {
  protected:
    test::TempDir dir;

    int count(const char* method) { return number(control(login1, controlInterface, method)); }
    std::vector<std::string> releasedWith() {
        return strings(control(login1, controlInterface, "ReleasedWith"));
    }
    void emitPrepareForSleep(bool start) {
        control(login1, controlInterface, "Emit", "b", int{start});
    }
};

TEST_F(LogindSleepTest, DayFilesAreOnDiskBeforeTheDelayLockIsReleased) {
    startServer(FAKE_LOGIN1, {(dir / "stats").string()}, login1);
    test::FakeClock clock{Date{800000000.0}, 5000.0, "Europe/Berlin"};
    StatsStore store(clock, dir / "stats");
    store.start();
    for (int i = 0; i < 3; ++i) {
        store.record({KeyKind::normal, true, 5000.0 + i}, clock.now());
    }
    store.sync();

    LogindSleepSource source(mainQueue, busAddress());
    int sleeps = 0;
    int wakes = 0;
    source.onWillSleep = [&] {
        ++sleeps;
        EXPECT_EQ(count("Held"), 1);  // logind still waits for us
        store.suspend();
    };
    source.onDidWake = [&] {
        ++wakes;
        store.resume();
        store.tick();
    };
    source.start();
    ASSERT_TRUE(mainQueue.runUntil([&] { return source.holdsLock() && count("Held") == 1; }));

    emitPrepareForSleep(true);
    ASSERT_TRUE(mainQueue.runUntil([&] { return count("Held") == 0; }));
    EXPECT_EQ(sleeps, 1);
    EXPECT_EQ(releasedWith(), std::vector<std::string>{"1"});  // today's file was written

    emitPrepareForSleep(false);
    ASSERT_TRUE(mainQueue.runUntil([&] { return source.holdsLock() && count("Held") == 1; }));
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(count("Inhibitors"), 2);

    source.stop();
    EXPECT_TRUE(mainQueue.runUntil([&] { return count("Held") == 0; }));
    store.stop();
}

TEST_F(LogindSleepTest, WithoutLogindNothingIsFollowed) {
    LogindSleepSource source(mainQueue, busAddress());  // the private bus has no login1
    int calls = 0;
    source.onWillSleep = [&] { ++calls; };
    source.start();
    ASSERT_TRUE(mainQueue.runUntil([&] { return !source.requestingLock(); }));
    EXPECT_FALSE(source.holdsLock());
    EXPECT_EQ(calls, 0);
    source.stop();
}

TEST_F(LogindSleepTest, ALockThatArrivesAfterStopIsLetGo) {
    startServer(FAKE_LOGIN1, {(dir / "stats").string()}, login1);
    LogindSleepSource source(mainQueue, busAddress());
    source.start();
    source.stop();  // before the answer can have come
    ASSERT_TRUE(mainQueue.runUntil([&] { return !source.requestingLock(); }));
    EXPECT_FALSE(source.holdsLock());
    EXPECT_EQ(count("Inhibitors"), 1);
    EXPECT_TRUE(mainQueue.runUntil([&] { return count("Held") == 0; }));
}

// The reaction to sleep does not run for a source that is gone, yet its lock is still let go.
TEST_F(LogindSleepTest, SleepAfterTheSourceIsGoneStillReleasesTheLock) {
    startServer(FAKE_LOGIN1, {(dir / "stats").string()}, login1);
    auto source = std::make_unique<LogindSleepSource>(mainQueue, busAddress());
    int calls = 0;
    source->onWillSleep = [&] { ++calls; };
    source->start();
    ASSERT_TRUE(mainQueue.runUntil([&] { return source->holdsLock(); }));
    const std::size_t before = mainQueue.posted();
    emitPrepareForSleep(true);
    ASSERT_TRUE(mainQueue.waitForPosted(before + 1));
    EXPECT_EQ(count("Held"), 1);
    source.reset();
    mainQueue.queue.runPending();
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(mainQueue.runUntil([&] { return count("Held") == 0; }));
}

TEST_F(LogindSleepTest, WithoutASystemBusItSaysSoOnce) {
    auto sink = std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(8);
    auto& log = logger(LogCategory::startup);
    const auto level = log.level();
    log.set_level(spdlog::level::warn);
    log.sinks().push_back(sink);

    LogindSleepSource source(mainQueue, "unix:path=/nonexistent/bus");
    int calls = 0;
    source.onWillSleep = [&] { ++calls; };
    for (int round = 0; round < 2; ++round) {
        source.start();
        ASSERT_TRUE(mainQueue.runUntil([&] { return !source.requestingLock(); }));
        EXPECT_FALSE(source.holdsLock());
        source.stop();
    }
    mainQueue.queue.runPending();

    log.sinks().pop_back();
    log.set_level(level);
    const auto said = sink->last_formatted();
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("No system bus: sleep and wake are not followed ("), std::string::npos);
    EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace tapwell

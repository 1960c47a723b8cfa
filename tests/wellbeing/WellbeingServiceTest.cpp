#include "wellbeing/WellbeingService.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "WellbeingTestSupport.h"
#include "core/UserDefaults.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

using test::local;
using test::zone;
using Events = std::vector<WellbeingEvent>;

// Collects what the service reports on its queue.
class Updates {
  public:
    void operator()(const Events& events, const WellbeingStatus& status) {
        std::lock_guard lock(mutex_);
        for (WellbeingEvent event : events) {
            events_.push_back(event);
        }
        statuses_.push_back(status);
    }

    Events events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return statuses_.size();
    }
    WellbeingStatus lastStatus() const {
        std::lock_guard lock(mutex_);
        return statuses_.empty() ? WellbeingStatus{} : statuses_.back();
    }

  private:
    mutable std::mutex mutex_;
    Events events_;
    std::vector<WellbeingStatus> statuses_;
};

class WellbeingServiceTest : public ::testing::Test {
  protected:
    WellbeingServiceTest()
        : defaults(std::make_unique<UserDefaults>(dir / "defaults.json")),
          clock(local(zone("Europe/Berlin"), "2026-12-07", 9, 0), 1000.0, "Europe/Berlin") {}

    std::unique_ptr<WellbeingService> makeService() {
        auto service = std::make_unique<WellbeingService>(*defaults, clock);
        service->onUpdate = [this](const Events& events, const WellbeingStatus& status) {
            updates(events, status);
        };
        return service;
    }

    // Key-downs every 10 s for `seconds`, ending with one at the final time; the fake clock
    // moves with them.
    void type(WellbeingService& service, double seconds) {
        for (double done = 0.0; done < seconds; done += 10.0) {
            service.record(KeyActivity{KeyKind::normal, true, clock.uptime()}, clock.now());
            clock.advance(10.0);
        }
        service.record(KeyActivity{KeyKind::normal, true, clock.uptime()}, clock.now());
    }

    std::optional<WellbeingLedger> storedLedger() const {
        auto data = defaults->dataValue(WellbeingLedger::defaultsKey);
        if (!data) {
            return std::nullopt;
        }
        return WellbeingLedger::fromJSON(std::string(data->begin(), data->end()));
    }

    test::TempDir dir;
    std::unique_ptr<UserDefaults> defaults;
    test::FakeClock clock;
    Updates updates;
    AppPreferences preferences;
};

TEST_F(WellbeingServiceTest, ConfigureRunsAPassAtOnceAndReportsItsStatus) {
    auto service = makeService();
    preferences.breakMinutes = 45;
    service->configure(preferences, false);
    service->sync();
    ASSERT_EQ(updates.count(), 1u);
    EXPECT_TRUE(updates.events().empty());
    EXPECT_EQ(updates.lastStatus().nextMinutes, 45);
    EXPECT_EQ(updates.lastStatus().elapsedMinutes, 0);
    // Nothing changed, so nothing was written.
    EXPECT_FALSE(defaults->hasStoredValue(WellbeingLedger::defaultsKey));
}

TEST_F(WellbeingServiceTest, ABreakNudgeIsReportedAndWritten) {
    auto service = makeService();
    preferences.breakMinutes = 30;
    service->configure(preferences, false);
    type(*service, 1800.0);
    service->configure(preferences, false);
    service->sync();
    EXPECT_EQ(updates.events(), Events{WellbeingEvent::takeBreak});
    EXPECT_EQ(updates.lastStatus().elapsedMinutes, 30);
    EXPECT_EQ(updates.lastStatus().nextMinutes, 30);

    auto stored = storedLedger();
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->count("2026-12-07"), 1);
    EXPECT_EQ(stored->last.at("takeBreak"), clock.now());
}

TEST_F(WellbeingServiceTest, PassesThatChangeNothingDoNotWrite) {
    auto service = makeService();
    preferences.dailyLimit = true;
    preferences.dailyKeystrokes = 100;
    service->updateTotal(100);
    service->configure(preferences, false);
    service->sync();
    ASSERT_EQ(updates.events(), Events{WellbeingEvent::dailyLimit});
    ASSERT_TRUE(storedLedger());

    // Replace the stored value behind the service's back: a pass without changes leaves it.
    const std::string marker = "untouched";
    defaults->set(WellbeingLedger::defaultsKey, Bytes(marker.begin(), marker.end()));
    clock.advance(60.0);
    service->configure(preferences, false);
    service->sync();
    EXPECT_EQ(defaults->dataValue(WellbeingLedger::defaultsKey),
              Bytes(marker.begin(), marker.end()));
    EXPECT_EQ(updates.count(), 2u);
}

TEST_F(WellbeingServiceTest, KeyUpsAreNotRecorded) {
    auto service = makeService();
    for (int i = 0; i < 10; ++i) {
        service->record(KeyActivity{KeyKind::space, false, clock.uptime()}, clock.now());
        clock.advance(1.0);
    }
    EXPECT_FALSE(service->rules().start);
    service->record(KeyActivity{KeyKind::enter, true, clock.uptime()}, clock.now());
    EXPECT_EQ(service->rules().start, clock.uptime());
}

TEST_F(WellbeingServiceTest, AContextPauseGivesNothingAndHidesTheCountdown) {
    auto service = makeService();
    preferences.breakMinutes = 30;
    type(*service, 1800.0);
    service->configure(preferences, true);
    service->sync();
    EXPECT_TRUE(updates.events().empty());
    EXPECT_FALSE(updates.lastStatus().nextMinutes);
    EXPECT_EQ(updates.lastStatus().elapsedMinutes, 30);

    service->configure(preferences, false);
    service->sync();
    EXPECT_EQ(updates.events(), Events{WellbeingEvent::takeBreak});
}

// What a pause holds back, and its end at the first pass after it, are the rules' to test.
TEST_F(WellbeingServiceTest, APauseAndItsEarlyEndAreShownAndWrittenAtOnce) {
    auto service = makeService();
    const Date until = clock.now() + 3600.0;
    service->setPaused(until);
    service->sync();
    EXPECT_EQ(updates.lastStatus().pausedUntil, until);
    ASSERT_TRUE(storedLedger());
    EXPECT_EQ(storedLedger()->pausedUntil, until);

    service->setPaused(std::nullopt);
    service->sync();
    EXPECT_FALSE(storedLedger()->pausedUntil);
    EXPECT_FALSE(updates.lastStatus().pausedUntil);
}

TEST_F(WellbeingServiceTest, BreakActionsWriteAndCountDownFiveOrFifteenMinutes) {
    auto service = makeService();
    service->configure(preferences, false);
    service->act(BreakAction::takeFive);
    service->sync();
    EXPECT_EQ(updates.lastStatus().nextMinutes, 5);
    ASSERT_TRUE(storedLedger());
    EXPECT_EQ(storedLedger()->deferredUntil, clock.now() + 300.0);

    service->act(BreakAction::snooze);
    service->sync();
    EXPECT_EQ(updates.lastStatus().nextMinutes, 15);
    EXPECT_EQ(storedLedger()->deferredUntil, clock.now() + 900.0);
}

TEST_F(WellbeingServiceTest, SleepEndsTheStretchAndADueNudgeIsNotGivenLate) {
    auto service = makeService();
    preferences.breakMinutes = 30;
    type(*service, 1800.0);  // due, but no pass has seen it yet
    service->suspend();
    EXPECT_TRUE(service->rules().suspended);
    ASSERT_TRUE(storedLedger());  // written before the system sleeps

    // What suspended rules do with keys and passes is the rules' to test.
    service->resume();
    service->record(KeyActivity{KeyKind::normal, true, clock.uptime()}, clock.now());
    service->configure(preferences, false);
    service->sync();
    EXPECT_TRUE(updates.events().empty());
    EXPECT_EQ(updates.lastStatus().elapsedMinutes, 0);
    EXPECT_EQ(updates.lastStatus().nextMinutes, 30);
}

TEST_F(WellbeingServiceTest, TheLedgerSurvivesARestartWithItsDeferralAndPause) {
    Date deferred;
    Date paused;
    {
        auto service = makeService();
        service->configure(preferences, false);
        service->act(BreakAction::snooze);
        service->setPaused(clock.now() + 3600.0);
        service->sync();
        deferred = clock.now() + 900.0;
        paused = clock.now() + 3600.0;
        service->stop();
    }
    // A new process: a new store on the same file, once the old one has written it at exit.
    defaults.reset();
    defaults = std::make_unique<UserDefaults>(dir / "defaults.json");
    clock.advance(60.0);
    auto service = makeService();
    auto rules = service->rules();
    EXPECT_EQ(rules.ledger.deferredUntil, deferred);
    EXPECT_EQ(rules.ledger.pausedUntil, paused);
    service->configure(preferences, false);
    service->sync();
    EXPECT_EQ(updates.lastStatus().pausedUntil, paused);
    EXPECT_EQ(updates.lastStatus().nextMinutes, 14);
}

TEST_F(WellbeingServiceTest, AnUnreadableStoredLedgerStartsFreshAndStaysUntilTheNextWrite) {
    const std::string broken = R"({"last":{},"once":[]})";
    defaults->set(WellbeingLedger::defaultsKey, Bytes(broken.begin(), broken.end()));
    auto service = makeService();
    EXPECT_EQ(service->rules().ledger, WellbeingLedger{});
    service->configure(preferences, false);
    service->sync();
    EXPECT_EQ(defaults->dataValue(WellbeingLedger::defaultsKey),
              Bytes(broken.begin(), broken.end()));
    service->stop();
    EXPECT_EQ(storedLedger(), WellbeingLedger{});
}

// The zone is read afresh both by a pass and by a key-down.
TEST_F(WellbeingServiceTest, ATimeZoneChangeIsSeenAtTheNextPassOrKeyDown) {
    auto service = makeService();
    type(*service, 600.0);
    service->configure(preferences, false);
    service->sync();
    EXPECT_EQ(updates.lastStatus().elapsedMinutes, 10);
    clock.setTimeZone("America/New_York");
    service->configure(preferences, false);
    service->sync();
    EXPECT_EQ(updates.lastStatus().elapsedMinutes, 0);
    EXPECT_EQ(service->rules().zone, "America/New_York");

    type(*service, 600.0);
    service->sync();  // the zone is read when the queued key-downs run
    clock.setTimeZone("Asia/Tokyo");
    clock.advance(5.0);
    service->record(KeyActivity{KeyKind::normal, true, clock.uptime()}, clock.now());
    auto rules = service->rules();
    EXPECT_EQ(rules.zone, "Asia/Tokyo");
    EXPECT_EQ(rules.start, clock.uptime());
}

TEST_F(WellbeingServiceTest, DebugTimingIsReadOnceFromTheDefaults) {
    EXPECT_FALSE(makeService()->debugTiming());
    EXPECT_EQ(makeService()->tickPeriod(), 30.0);
    defaults->set(WellbeingService::debugKey, std::int64_t{1});  // not a boolean
    EXPECT_FALSE(makeService()->debugTiming());
    defaults->set(WellbeingService::debugKey, true);
    auto service = makeService();
    EXPECT_TRUE(service->debugTiming());
    EXPECT_EQ(service->tickPeriod(), 1.0);
    EXPECT_TRUE(service->rules().debug);
    EXPECT_EQ(service->rules().breakThreshold(), 60.0);
}

// --- The timer ---------------------------------------------------------------------------------

TEST_F(WellbeingServiceTest, TheFirstTimerPassComesAtOnceAndTheNextOnesEveryThirtySeconds) {
    auto service = makeService();
    service->start();
    clock.settle();
    EXPECT_EQ(updates.count(), 1u);
    clock.advance(WellbeingService::tickSeconds - 0.001);
    EXPECT_EQ(updates.count(), 1u);
    clock.advance(0.001);
    EXPECT_EQ(updates.count(), 2u);
    EXPECT_TRUE(updates.events().empty()) << "every pass reports, also without events";
    service->stop();
    clock.advance(WellbeingService::tickSeconds * 3);
    EXPECT_EQ(updates.count(), 2u);
}

// Key-downs do not wake the queue: the next pass, by the timer or after an operation, counts the
// ones before it first.
TEST_F(WellbeingServiceTest, TheNextPassCountsTheKeyDownsBeforeIt) {
    defaults->set(WellbeingService::debugKey, true);  // a pass every second
    for (const bool byTimer : {true, false}) {
        SCOPED_TRACE(byTimer ? "timer" : "operation");
        auto service = makeService();
        if (byTimer) {
            service->start();
        }
        type(*service, 120.0);
        const std::size_t passes = updates.count();
        if (byTimer) {
            clock.advance(service->tickPeriod());
        } else {
            service->setPaused(std::nullopt);
            service->sync();
        }
        ASSERT_EQ(updates.count(), passes + 1);
        EXPECT_EQ(updates.lastStatus().elapsedMinutes, 2);
        service->stop();
    }
}

TEST_F(WellbeingServiceTest, KeysFromSeveralThreadsWhileTheTimerRuns) {
    defaults->set(WellbeingService::debugKey, true);
    auto service = makeService();
    service->start();
    const double stamp = clock.uptime();
    const Date date = clock.now();
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            while (!go.load()) {
                std::this_thread::yield();
            }
            for (int i = 0; i < 2000; ++i) {
                service->record(KeyActivity{KeyKind::normal, i % 2 == 0, stamp}, date);
            }
        });
    }
    go = true;
    for (int pass = 0; pass < 20; ++pass) {
        clock.advance(1.0);  // timer passes while the keys arrive
    }
    for (auto& thread : threads) {
        thread.join();
    }
    service->sync();
    EXPECT_EQ(service->rules().lastKey, stamp);
    EXPECT_GE(updates.count(), 21u);
    // Released while its timer is running.
    service.reset();
}

TEST_F(WellbeingServiceTest, CallsAfterStopStillRun) {
    auto service = makeService();
    service->start();
    service->stop();
    const std::size_t before = updates.count();
    service->configure(preferences, true);
    service->sync();
    EXPECT_EQ(updates.count(), before + 1);
}

}  // namespace
}  // namespace tapwell

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "core/SerialQueue.h"
#include "support/Counter.h"
#include "support/FakeClock.h"
#include "support/Latch.h"

namespace tapwell {
namespace {

using namespace std::chrono_literals;
using test::FakeClock;

// Declare latches before the queue, so that the queue's worker is joined before a latch goes away.
using test::Latch;

// What ran on a queue and at what uptime of the fake clock.
struct Log {
    std::mutex mutex;
    std::vector<std::pair<int, double>> entries;

    void add(int what, double when) {
        std::lock_guard lock(mutex);
        entries.emplace_back(what, when);
    }
    std::vector<std::pair<int, double>> take() {
        std::lock_guard lock(mutex);
        return std::exchange(entries, {});
    }
};

TEST(SerialQueue, AsyncRunsInSubmissionOrder) {
    SerialQueue queue("com.tapwell.test");
    std::vector<int> order;
    for (int i = 0; i < 1000; ++i) {
        queue.async([&order, i] { order.push_back(i); });
    }
    queue.sync([] {});
    ASSERT_EQ(order.size(), 1000u);
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    }
}

TEST(SerialQueue, SyncOnBusyQueueRunsAfterTheWorkAheadAndReturnsItsResult) {
    Latch gate;
    Latch syncing;
    SerialQueue queue("com.tapwell.test");
    std::vector<int> order;
    queue.async([&] {
        gate.waitFor();
        order.push_back(1);
    });
    queue.async([&] { order.push_back(2); });
    std::thread opener([&] {
        syncing.waitFor();
        gate.open();
    });
    syncing.open();
    const int result = queue.sync([&] {
        order.push_back(3);
        return static_cast<int>(order.size());
    });
    opener.join();
    EXPECT_EQ(result, 3);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(SerialQueue, SyncOnIdleQueueRunsOnCallersThread) {
    SerialQueue queue("com.tapwell.test");
    queue.sync([] {});  // let the worker settle
    const auto caller = std::this_thread::get_id();
    const auto ranOn = queue.sync([] { return std::this_thread::get_id(); });
    EXPECT_EQ(ranOn, caller);
}

TEST(SerialQueue, SyncFastPathExcludesTheWorker) {
    // Work submitted while a fast-path sync runs must wait for it.
    SerialQueue queue("com.tapwell.test");
    std::atomic<int> inside{0};
    std::atomic<bool> overlap{false};
    std::thread submitter([&] {
        for (int i = 0; i < 2000; ++i) {
            queue.async([&] {
                if (inside.fetch_add(1) != 0) {
                    overlap = true;
                }
                inside.fetch_sub(1);
            });
        }
    });
    for (int i = 0; i < 2000; ++i) {
        queue.sync([&] {
            if (inside.fetch_add(1) != 0) {
                overlap = true;
            }
            inside.fetch_sub(1);
        });
    }
    submitter.join();
    queue.sync([] {});
    EXPECT_FALSE(overlap.load());
}

TEST(SerialQueue, ManySyncCallersAreSerialised) {
    SerialQueue queue("com.tapwell.test");
    int counter = 0;  // deliberately unsynchronised: the queue is the lock
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 5000; ++i) {
                queue.sync([&] { ++counter; });
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, 20000);
}

TEST(SerialQueue, IsCurrentOnlyInsideItsWork) {
    SerialQueue a("com.tapwell.a");
    SerialQueue b("com.tapwell.b");
    EXPECT_FALSE(a.isCurrent());
    EXPECT_TRUE(a.sync([&] { return a.isCurrent(); }));
    // Nested: inside a's work, a sync onto b runs with both current.
    const bool both =
        a.sync([&] { return b.sync([&] { return a.isCurrent() && b.isCurrent(); }); });
    EXPECT_TRUE(both);
    std::atomic<bool> onWorker{false};
    a.async([&] { onWorker = a.isCurrent() && !b.isCurrent(); });
    a.sync([] {});
    EXPECT_TRUE(onWorker.load());
}

TEST(SerialQueueDeathTest, SyncFromItsOwnWorkIsCaught) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            SerialQueue queue("com.tapwell.test");
            queue.sync([&] { queue.sync([] {}); });
        },
        "sync called from work running on the same serial queue");
}

TEST(SerialQueue, DelayedWorkRunsAtItsDeadlineInDeadlineThenSubmissionOrder) {
    FakeClock clock;
    Log log;
    SerialQueue queue("com.tapwell.test", clock.scheduler());
    for (const auto& [what, delay] :
         std::vector<std::pair<int, double>>{{4, 0.06}, {1, 0.02}, {2, 0.04}, {3, 0.04}}) {
        queue.asyncAfter(delay, [&, what = what] { log.add(what, clock.uptime()); });
    }
    clock.advance(0.019);
    EXPECT_TRUE(log.take().empty());
    clock.advance(0.001);
    EXPECT_EQ(log.take(), (std::vector<std::pair<int, double>>{{1, 1000.02}}));
    clock.advance(1.0);
    EXPECT_EQ(log.take(),
              (std::vector<std::pair<int, double>>{{2, 1000.04}, {3, 1000.04}, {4, 1000.06}}));
}

TEST(SerialQueue, RepeatingTimerFiresOnItsGridUntilCancelledAndLeewayNeverDelaysIt) {
    FakeClock clock;
    Log log;
    SerialQueue queue("com.tapwell.test", clock.scheduler());
    QueueTimer timer = queue.makeTimer(0.5, 1.0, 0.3, [&] { log.add(0, clock.uptime()); });
    clock.advance(3.2);
    EXPECT_EQ(log.take(),
              (std::vector<std::pair<int, double>>{{0, 1000.5}, {0, 1001.5}, {0, 1002.5}}));
    EXPECT_TRUE(timer.isActive());
    timer.cancel();
    EXPECT_FALSE(timer.isActive());
    const auto wakes = queue.wakeCount();
    clock.advance(10.0);
    EXPECT_TRUE(log.take().empty());
    EXPECT_EQ(queue.wakeCount(), wakes) << "a cancelled timer woke its queue";
}

TEST(SerialQueue, AStalledQueueFiresOnceAndKeepsTheGrid) {
    FakeClock clock;
    Log log;
    SerialQueue queue("com.tapwell.test", clock.scheduler());
    QueueTimer timer = queue.makeTimer(1.0, 1.0, 0.0, [&] { log.add(0, clock.uptime()); });
    clock.jump(3.5);  // the deadlines 1, 2 and 3 pass unseen
    EXPECT_EQ(log.take(), (std::vector<std::pair<int, double>>{{0, 1003.5}}));
    clock.advance(1.0);
    EXPECT_EQ(log.take(), (std::vector<std::pair<int, double>>{{0, 1004.0}}));
}

TEST(SerialQueue, OneShotTimersFireOnceAndDroppedOrSelfCancelledOnesStop) {
    FakeClock clock;
    std::atomic<int> oneShot{0};
    std::atomic<int> dropped{0};
    std::atomic<int> selfCancelled{0};
    SerialQueue queue("com.tapwell.test", clock.scheduler());
    QueueTimer once = queue.makeTimer(0.01, 0.0, 0.0, [&] { ++oneShot; });
    {
        QueueTimer handle = queue.makeTimer(0.02, 0.02, 0.0, [&] { ++dropped; });
    }
    QueueTimer self;
    queue.sync([&] {
        // Assigned on the queue, so the handler cannot run before the handle is in place.
        self = queue.makeTimer(0.0, 0.005, 0.0, [&] {
            ++selfCancelled;
            self.cancel();
        });
    });
    clock.advance(10.0);
    EXPECT_EQ(oneShot.load(), 1);
    EXPECT_EQ(dropped.load(), 0);
    EXPECT_EQ(selfCancelled.load(), 1);
}

TEST(SerialQueue, CancelRacingAFiringNeverLetsTheHandlerRunAfterwards) {
    // A second thread moves time as fast as it can while this one cancels: once cancel() has
    // returned, the handler must neither be running nor start again.
    for (int round = 0; round < 100; ++round) {
        FakeClock clock;
        std::mutex mutex;
        std::condition_variable changed;
        int fired = 0;
        std::uint64_t moves = 0;
        std::atomic<bool> cancelled{false};
        std::atomic<bool> violated{false};
        std::atomic<bool> stop{false};
        {
            SerialQueue queue("com.tapwell.test", clock.scheduler());
            QueueTimer timer = queue.makeTimer(0.0, 0.001, 0.0, [&] {
                // Checked at both ends: a firing still under way when cancel() returns counts.
                if (cancelled.load()) {
                    violated = true;
                }
                std::this_thread::yield();
                if (cancelled.load()) {
                    violated = true;
                }
                std::lock_guard lock(mutex);
                ++fired;
                changed.notify_all();
            });
            std::thread mover([&] {
                while (!stop.load()) {
                    clock.advance(0.001);
                    std::lock_guard lock(mutex);
                    ++moves;
                    changed.notify_all();
                }
            });
            std::unique_lock lock(mutex);
            const bool firing = changed.wait_for(lock, 10s, [&] { return fired > round % 5; });
            lock.unlock();
            timer.cancel();
            cancelled = true;
            lock.lock();
            const std::uint64_t after = moves;
            const bool moved = changed.wait_for(lock, 10s, [&] { return moves >= after + 3; });
            lock.unlock();
            stop = true;
            mover.join();
            ASSERT_TRUE(firing && moved) << "round " << round;
        }
        ASSERT_FALSE(violated.load()) << "round " << round;
    }
}

TEST(SerialQueue, AnIdleQueueSleepsThroughTime) {
    FakeClock clock;
    SerialQueue queue("com.tapwell.test", clock.scheduler());
    queue.sync([] {});
    clock.settle();
    const auto before = queue.wakeCount();
    clock.advance(3600.0);
    EXPECT_EQ(queue.wakeCount(), before);
    EXPECT_FALSE(queue.nextDeadline());
}

TEST(SerialQueue, DestructionRunsSubmittedWorkAndDropsDelayedWork) {
    FakeClock clock;
    std::atomic<int> ran{0};
    std::atomic<int> delayed{0};
    {
        SerialQueue queue("com.tapwell.test", clock.scheduler());
        queue.asyncAfter(0.5, [&] { ++delayed; });
        queue.async([&] { ++ran; });
        queue.async([&] { ++ran; });
    }
    EXPECT_EQ(ran.load(), 2);
    EXPECT_EQ(delayed.load(), 0);
}

TEST(SerialQueue, TimerHandleOutlivingItsQueueIsHarmless) {
    QueueTimer timer;
    {
        SerialQueue queue("com.tapwell.test");
        timer = queue.makeTimer(10.0, 1.0, 0.0, [] {});
    }
    timer.cancel();
    EXPECT_FALSE(timer.isActive());
}

TEST(SerialQueue, WorkerThreadCarriesTheLabel) {
    SerialQueue queue("com.tapwell.stats");
    std::string name;
    queue.async([&] {
        char buffer[32] = {};
        pthread_getname_np(pthread_self(), buffer, sizeof buffer);
        name = buffer;
    });
    queue.sync([] {});
    EXPECT_EQ(name, "tapwell.stats");
}

using Runs = test::Counter;

TEST(SerialQueue, SignalsBeforeATriggerRunsCoalesceAndOneWhileItRunsRunsItAgain) {
    Latch gate;
    Latch inside;
    Latch release;
    Runs runs;
    SerialQueue queue("com.tapwell.test");
    std::atomic<bool> onQueue{false};
    QueueTrigger trigger = queue.makeTrigger([&] {
        onQueue = queue.isCurrent();
        runs.add();
        if (runs.value() == 1) {
            inside.open();
            release.waitFor();
        }
    });
    queue.async([&] { gate.waitFor(); });
    for (int i = 0; i < 3; ++i) {
        trigger.signal();
    }
    gate.open();
    ASSERT_TRUE(inside.waitFor());
    trigger.signal();
    trigger.signal();
    release.open();
    ASSERT_TRUE(runs.waitFor(2));
    ASSERT_TRUE(queue.waitUntilSettled(10s));
    EXPECT_EQ(runs.value(), 2);
    EXPECT_TRUE(onQueue.load());
}

TEST(SerialQueue, ACancelledTriggerNeverRuns) {
    Latch gate;
    Runs runs;
    SerialQueue queue("com.tapwell.test");
    QueueTrigger trigger = queue.makeTrigger([&] { runs.add(); });
    queue.async([&] { gate.waitFor(); });
    trigger.signal();
    trigger.cancel();
    EXPECT_FALSE(trigger.isActive());
    trigger.signal();  // harmless on a cancelled handle
    gate.open();
    ASSERT_TRUE(queue.waitUntilSettled(10s));
    EXPECT_EQ(runs.value(), 0);
}

TEST(SerialQueue, SteadyWorkDoesNotStarveATrigger) {
    Latch ran;
    std::atomic<bool> stop{false};
    SerialQueue queue("com.tapwell.test");
    QueueTrigger trigger = queue.makeTrigger([&] {
        stop = true;
        ran.open();
    });
    std::function<void()> busy = [&] {
        if (!stop.load()) {
            queue.async(busy);
        }
    };
    queue.async(busy);
    trigger.signal();
    EXPECT_TRUE(ran.waitFor(5s));
    stop = true;
    queue.sync([] {});
}

TEST(SerialQueue, NoSignalIsLostWhileTheWorkerFallsAsleep) {
    // Every signal after the last run must lead to another run, however it meets the worker
    // going to sleep: the last run must see every increment made before a signal.
    constexpr int threads = 4;
    constexpr int signalsPerThread = 20000;
    std::atomic<int> produced{0};
    std::mutex mutex;
    std::condition_variable changed;
    int seen = 0;
    SerialQueue queue("com.tapwell.test");
    QueueTrigger trigger = queue.makeTrigger([&] {
        const int now = produced.load();
        std::lock_guard lock(mutex);
        seen = now;
        changed.notify_all();
    });
    std::vector<std::thread> producers;
    for (int t = 0; t < threads; ++t) {
        producers.emplace_back([&, t] {
            for (int i = 0; i < signalsPerThread; ++i) {
                produced.fetch_add(1);
                trigger.signal();
                if ((i + t) % 64 == 0) {
                    std::this_thread::yield();  // let the worker fall asleep now and then
                }
            }
        });
    }
    for (auto& producer : producers) {
        producer.join();
    }
    std::unique_lock lock(mutex);
    EXPECT_TRUE(changed.wait_for(lock, 10s, [&] { return seen == threads * signalsPerThread; }))
        << "the last run saw " << seen;
}

// Time that only the test moves, without waiting for the queue to settle.
class SteppedScheduler final : public QueueScheduler {
  public:
    TimePoint now() const override { return TimePoint(Duration(time.load())); }
    bool passesByItself() const override { return false; }
    void attach(SerialQueue&) override {}
    void detach(SerialQueue&) override {}

    std::atomic<Duration::rep> time{0};
};

TEST(SerialQueue, SteadyWorkDoesNotStarveADueTimer) {
    SteppedScheduler scheduler;
    Latch fired;
    std::atomic<bool> stop{false};
    SerialQueue queue("com.tapwell.test", scheduler);
    QueueTimer timer = queue.makeTimer(1.0, 0.0, 0.0, [&] {
        stop = true;
        fired.open();
    });
    // Keep the queue busy: every item submits another one until the timer has fired.
    std::function<void()> busy = [&] {
        if (!stop.load()) {
            queue.async(busy);
        }
    };
    queue.async(busy);
    scheduler.time = std::chrono::duration_cast<QueueScheduler::Duration>(1s).count();
    queue.timeMoved();
    EXPECT_TRUE(fired.waitFor(5s));
    stop = true;
    queue.sync([] {});
}

}  // namespace
}  // namespace tapwell

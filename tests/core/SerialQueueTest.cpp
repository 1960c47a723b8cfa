#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "core/SerialQueue.h"

namespace tapwell {
namespace {

using namespace std::chrono_literals;

// Blocks the queue until released, so tests can line work up behind it. Declare latches before
// the queue, so that the queue's worker is joined before a latch goes away.
class Latch {
public:
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        cv_.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return open_; });
    }
    bool waitFor(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, timeout, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
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

TEST(SerialQueue, SyncWaitsForEarlierWorkAndReturnsItsResult) {
    Latch gate;
    SerialQueue queue("com.tapwell.test");
    std::atomic<bool> earlierDone{false};
    queue.async([&] {
        gate.wait();
        earlierDone = true;
    });
    std::thread opener([&] {
        std::this_thread::sleep_for(20ms);
        gate.open();
    });
    const int result = queue.sync([&] { return earlierDone.load() ? 42 : -1; });
    EXPECT_EQ(result, 42);
    opener.join();
}

TEST(SerialQueue, SyncOnIdleQueueRunsOnCallersThread) {
    SerialQueue queue("com.tapwell.test");
    queue.sync([] {});  // let the worker settle
    const auto caller = std::this_thread::get_id();
    const auto ranOn = queue.sync([] { return std::this_thread::get_id(); });
    EXPECT_EQ(ranOn, caller);
}

TEST(SerialQueue, SyncOnBusyQueueRunsAfterTheWorkAhead) {
    Latch gate;
    SerialQueue queue("com.tapwell.test");
    std::vector<int> order;
    queue.async([&] {
        gate.wait();
        order.push_back(1);
    });
    queue.async([&] { order.push_back(2); });
    std::thread opener([&] {
        std::this_thread::sleep_for(20ms);
        gate.open();
    });
    queue.sync([&] { order.push_back(3); });
    opener.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
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
    const bool both = a.sync([&] { return b.sync([&] { return a.isCurrent() && b.isCurrent(); }); });
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

TEST(SerialQueue, AsyncAfterRunsNoEarlierThanItsDelay) {
    Latch ran;
    SerialQueue queue("com.tapwell.test");
    const auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point when;
    queue.asyncAfter(0.05, [&] {
        when = std::chrono::steady_clock::now();
        ran.open();
    });
    ASSERT_TRUE(ran.waitFor(5s));
    EXPECT_GE(when - start, 50ms);
}

TEST(SerialQueue, DelayedWorkRunsInDeadlineOrder) {
    std::vector<int> order;
    Latch done;
    SerialQueue queue("com.tapwell.test");
    queue.asyncAfter(0.06, [&] {
        order.push_back(3);
        done.open();
    });
    queue.asyncAfter(0.02, [&] { order.push_back(1); });
    queue.asyncAfter(0.04, [&] { order.push_back(2); });
    ASSERT_TRUE(done.waitFor(5s));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(SerialQueue, RepeatingTimerFiresUntilCancelled) {
    std::atomic<int> fired{0};
    Latch three;
    SerialQueue queue("com.tapwell.test");
    QueueTimer timer = queue.makeTimer(0.0, 0.01, 0.0, [&] {
        if (++fired == 3) {
            three.open();
        }
    });
    ASSERT_TRUE(three.waitFor(5s));
    timer.cancel();
    const int atCancel = fired.load();
    std::this_thread::sleep_for(50ms);
    queue.sync([] {});
    EXPECT_EQ(fired.load(), atCancel);
    EXPECT_FALSE(timer.isActive());
}

TEST(SerialQueue, OneShotTimerFiresOnce) {
    SerialQueue queue("com.tapwell.test");
    std::atomic<int> fired{0};
    QueueTimer timer = queue.makeTimer(0.01, 0.0, 0.0, [&] { ++fired; });
    std::this_thread::sleep_for(80ms);
    queue.sync([] {});
    EXPECT_EQ(fired.load(), 1);
}

TEST(SerialQueue, DroppingTheHandleCancels) {
    SerialQueue queue("com.tapwell.test");
    std::atomic<int> fired{0};
    {
        QueueTimer timer = queue.makeTimer(0.02, 0.02, 0.0, [&] { ++fired; });
    }
    std::this_thread::sleep_for(80ms);
    queue.sync([] {});
    EXPECT_EQ(fired.load(), 0);
}

TEST(SerialQueue, TimerCanCancelItselfFromItsHandler) {
    std::atomic<int> fired{0};
    Latch first;
    Latch assigned;
    SerialQueue queue("com.tapwell.test");
    QueueTimer timer;
    timer = queue.makeTimer(0.0, 0.005, 0.0, [&] {
        assigned.wait();  // the handle is written by the test thread
        ++fired;
        timer.cancel();
        first.open();
    });
    assigned.open();
    ASSERT_TRUE(first.waitFor(5s));
    std::this_thread::sleep_for(40ms);
    queue.sync([] {});
    EXPECT_EQ(fired.load(), 1);
}

TEST(SerialQueue, CancelRacingAFiringNeverLetsTheHandlerRunAfterwards) {
    // Hammer cancellation against very frequent firings: once cancel() returns, the handler
    // must neither be running nor start again.
    for (int round = 0; round < 200; ++round) {
        SerialQueue queue("com.tapwell.test");
        std::atomic<bool> cancelled{false};
        std::atomic<bool> violated{false};
        QueueTimer timer = queue.makeTimer(0.0, 0.0001, 0.0, [&] {
            if (cancelled.load()) {
                violated = true;
            }
        });
        std::this_thread::sleep_for(std::chrono::microseconds(round % 7 * 50));
        timer.cancel();
        cancelled = true;
        std::this_thread::sleep_for(1ms);
        queue.sync([] {});
        ASSERT_FALSE(violated.load()) << "round " << round;
    }
}

TEST(SerialQueue, IdleQueueDoesNotWakeUp) {
    SerialQueue queue("com.tapwell.test");
    queue.sync([] {});
    std::this_thread::sleep_for(20ms);
    const auto before = queue.wakeCount();
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(queue.wakeCount(), before);
}

TEST(SerialQueue, DestructionRunsSubmittedWorkAndDropsTimers) {
    std::atomic<int> ran{0};
    std::atomic<int> delayed{0};
    {
        SerialQueue queue("com.tapwell.test");
        queue.async([&] {
            std::this_thread::sleep_for(20ms);
            ++ran;
        });
        queue.async([&] { ++ran; });
        queue.asyncAfter(10.0, [&] { ++delayed; });
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

}  // namespace
}  // namespace tapwell

namespace tapwell {
namespace {

TEST(SerialQueue, SteadyWorkDoesNotStarveADueTimer) {
    std::atomic<bool> fired{false};
    std::atomic<bool> stop{false};
    SerialQueue queue("com.tapwell.test");
    QueueTimer timer = queue.makeTimer(0.02, 0.0, 0.0, [&] { fired = true; });
    // Keep the queue busy: every item resubmits another one.
    std::function<void()> busy = [&] {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (!stop.load()) {
            queue.async(busy);
        }
    };
    queue.async(busy);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!fired.load() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    stop = true;
    queue.sync([] {});
    EXPECT_TRUE(fired.load());
}

}  // namespace
}  // namespace tapwell

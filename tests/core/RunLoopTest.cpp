// The loop of a run without windows: posted work from any thread, delayed work in deadline order
// on a clock the test moves, and quitting.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/RunLoop.h"

namespace tapwell {
namespace {

TEST(RunLoop, RunsWorkFromManyThreadsInEachPostersOrderWhileATimerIsFarOff) {
    RunLoop loop;
    loop.after(3600.0, [&] { ADD_FAILURE() << "an hour did not pass"; });
    constexpr int threads = 4;
    constexpr int perThread = 200;
    std::vector<int> last(threads, -1);
    int ran = 0;
    bool inOrder = true;
    const auto loopThread = std::this_thread::get_id();
    std::vector<std::thread> posters;
    for (int t = 0; t < threads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) {
                loop.post([&, t, i] {
                    inOrder =
                        inOrder && last[t] == i - 1 && std::this_thread::get_id() == loopThread;
                    last[t] = i;
                    if (++ran == threads * perThread) {
                        loop.quit(3);
                    }
                });
            }
        });
    }
    EXPECT_EQ(loop.run(), 3);
    for (auto& poster : posters) {
        poster.join();
    }
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(ran, threads * perThread);
}

TEST(RunLoop, DelayedWorkRunsByDeadlineThenSchedulingOrderAndCancelledWorkNever) {
    std::atomic<RunLoop::Clock::rep> ticks{0};
    RunLoop loop([&] { return RunLoop::Clock::time_point(RunLoop::Clock::duration(ticks)); });
    const auto advance = [&](double seconds) {
        ticks += std::chrono::duration_cast<RunLoop::Clock::duration>(
                     std::chrono::duration<double>(seconds))
                     .count();
    };
    std::vector<std::string> order;
    loop.after(2.0, [&] {
        order.push_back("two");
        loop.quit(7);
    });
    loop.after(1.0, [&] { order.push_back("one-a"); });
    loop.after(1.0, [&] { order.push_back("one-b"); });
    loop.after(0.0, [&] { order.push_back("now"); });
    loop.after(-5.0, [&] { order.push_back("past"); });
    auto cancelled = loop.after(1.0, [&] { order.push_back("cancelled"); });
    cancelled.cancel();
    loop.post([&] {
        order.push_back("posted");
        advance(1.0);
        loop.post([&] {
            order.push_back("posted-later");
            advance(1.0);
        });
    });
    EXPECT_EQ(loop.run(), 7);
    EXPECT_EQ(order, (std::vector<std::string>{"posted", "now", "past", "one-a", "one-b",
                                               "posted-later", "two"}));
}

TEST(RunLoop, QuitBeforeRunReturnsAtOnceWithTheFirstStatusAndLeavesTheRestUnrun) {
    RunLoop loop;
    bool ran = false;
    loop.post([&] { ran = true; });
    loop.quit(2);
    loop.quit(5);
    EXPECT_EQ(loop.run(), 2);
    EXPECT_FALSE(ran);

    RunLoop inside;
    int after = 0;
    inside.post([&] { inside.quit(); });
    inside.post([&] { ++after; });
    inside.after(0.0, [&] { ++after; });
    EXPECT_EQ(inside.run(), 0);
    EXPECT_EQ(after, 0);
}

}  // namespace
}  // namespace tapwell

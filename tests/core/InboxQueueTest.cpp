#include "core/InboxQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/MpscRing.h"
#include "support/Counter.h"
#include "support/FakeClock.h"
#include "support/Latch.h"

namespace tapwell {
namespace {

using test::Latch;

struct Record {
    int producer = 0;
    int sequence = 0;
};

TEST(MpscRing, TakesInTicketOrderUpToALimitAndRefusesWhenFull) {
    MpscRing<int> ring(3);
    EXPECT_EQ(ring.capacity(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(ring.push(i));
    }
    EXPECT_FALSE(ring.push(4));
    EXPECT_EQ(ring.end(), 4u);
    int value = -1;
    EXPECT_TRUE(ring.pop(value, 2));
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(ring.pop(value, 2));
    EXPECT_EQ(value, 1);
    EXPECT_FALSE(ring.pop(value, 2));  // the limit holds back what came later
    // Two slots are free again; the ring wraps around in order.
    EXPECT_TRUE(ring.push(4));
    EXPECT_TRUE(ring.push(5));
    EXPECT_FALSE(ring.push(6));
    std::vector<int> rest;
    while (ring.pop(value, ring.end())) {
        rest.push_back(value);
    }
    EXPECT_EQ(rest, (std::vector<int>{2, 3, 4, 5}));
    EXPECT_EQ(ring.begin(), ring.end());
}

TEST(MpscRing, ManyProducersLoseNothingAndKeepTheirOwnOrder) {
    constexpr int producers = 4;
    constexpr int perProducer = 50000;
    MpscRing<Record> ring(64);
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p) {
        threads.emplace_back([&, p] {
            for (int i = 0; i < perProducer; ++i) {
                while (!ring.push(Record{p, i})) {
                    std::this_thread::yield();
                }
            }
            ++done;
        });
    }
    std::vector<int> next(producers, 0);
    int taken = 0;
    bool ordered = true;
    Record record;
    while (taken < producers * perProducer) {
        if (!ring.pop(record, ring.end())) {
            std::this_thread::yield();
            continue;
        }
        ordered = ordered && record.sequence == next[static_cast<std::size_t>(record.producer)];
        next[static_cast<std::size_t>(record.producer)] = record.sequence + 1;
        ++taken;
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_TRUE(ordered);
    EXPECT_EQ(ring.end(), static_cast<std::uint64_t>(producers * perProducer));
}

// What reached the queue, in order: records as their number, work as negative numbers.
class InboxQueueTest : public ::testing::Test {
  protected:
    std::vector<int> log;  // touched only on the queue
    InboxQueue<int> inbox{"com.tapwell.test", QueueScheduler::system(), 4,
                          [this](const int& record) { log.push_back(record); }};

    void work(int id) {
        inbox.async([this, id] { log.push_back(-id); });
    }
    std::vector<int> taken() {
        return inbox.sync([this] { return log; });
    }
};

TEST_F(InboxQueueTest, RecordsKeepTheirOrderWithSubmittedWork) {
    Latch gate;
    inbox.queue().async([&] { gate.waitFor(); });  // everything below waits behind it
    inbox.post(1);
    work(1);
    inbox.post(2);
    work(2);
    inbox.post(3);
    gate.open();
    EXPECT_EQ(taken(), (std::vector<int>{1, -1, 2, -2, 3}));
}

TEST_F(InboxQueueTest, AFullRingHandsOverAsQueuedWorkInOrderAndCountsIt) {
    Latch gate;
    inbox.queue().async([&] { gate.waitFor(); });
    for (int i = 1; i <= 7; ++i) {
        inbox.post(i);
        if (i == 5) {
            work(1);
        }
    }
    gate.open();
    EXPECT_EQ(taken(), (std::vector<int>{1, 2, 3, 4, 5, -1, 6, 7}));
    EXPECT_EQ(inbox.overflows(), 3u);
}

TEST_F(InboxQueueTest, RecordsFromManyThreadsReachTheQueueInEachThreadsOrder) {
    for (const bool quietly : {false, true}) {
        SCOPED_TRACE(quietly ? "quietly" : "waking");
        inbox.sync([this] { log.clear(); });
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < 3000; ++i) {
                    if (quietly) {
                        inbox.postQuietly(t * 10000 + i);
                    } else {
                        inbox.post(t * 10000 + i);
                    }
                    if (i % 100 == 0) {
                        std::this_thread::yield();
                    }
                    if (quietly && t == 0 && i % 500 == 0) {
                        work(1);  // work fetches the quiet records posted before it
                    }
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        const auto records = taken();
        std::vector<int> next = {0, 10000, 20000};
        std::size_t count = 0;
        for (int record : records) {
            if (record < 0) {
                continue;
            }
            auto& expected = next[static_cast<std::size_t>(record / 10000)];
            ASSERT_EQ(record, expected);
            ++expected;
            ++count;
        }
        EXPECT_EQ(count, 9000u);
    }
}

TEST(InboxQueue, ARecordHeldBackBySubmittedWorkArrivesWhenTheWorkIsDone) {
    test::Counter delivered;
    Latch gate;
    InboxQueue<int> inbox("com.tapwell.test", QueueScheduler::system(), 8,
                          [&](const int&) { delivered.add(); });
    inbox.queue().async([&] { gate.waitFor(); });
    inbox.async([] {});
    inbox.post(1);  // after the work: it waits, and nothing else is submitted to fetch it
    gate.open();
    EXPECT_TRUE(delivered.waitFor(1));
}

TEST(InboxQueue, DestructionDeliversWhatIsStillInTheRing) {
    for (const bool quietly : {false, true}) {
        SCOPED_TRACE(quietly ? "quietly" : "waking");
        std::vector<int> log;
        Latch gate;
        {
            InboxQueue<int> inbox("com.tapwell.test", QueueScheduler::system(), 8,
                                  [&](const int& record) { log.push_back(record); });
            inbox.queue().async([&] { gate.waitFor(); });
            for (const int record : {1, 2}) {
                if (quietly) {
                    inbox.postQuietly(record);
                } else {
                    inbox.post(record);
                }
            }
            gate.open();
        }
        EXPECT_EQ(log, (std::vector<int>{1, 2}));
    }
}

// Quiet records wait in the ring until something runs on the queue; whatever it is delivers them
// first, in order with the other records and work.
TEST(InboxQueue, QuietRecordsWaitForTheNextRunOnTheQueue) {
    struct Case {
        // qN: quiet record N, pN: waking record N, wN: work -N, t: a timer firing, s: settle
        const char* script;
        bool gated;  // the worker is held until the script has been posted
        std::vector<int> settled;
        std::vector<int> afterSync;
        bool wakes;
        std::uint64_t overflows = 0;
    };
    const Case cases[] = {
        {"q1 q2", false, {}, {1, 2}, false},
        {"q1 q2 w1 s q3", false, {1, 2, -1}, {1, 2, -1, 3}, true},
        // A record posted behind open work is fetched once the work is done.
        {"q1 w1 q2", true, {1, -1, 2}, {1, -1, 2}, true},
        {"q1 p2 q3", true, {1, 2, 3}, {1, 2, 3}, true},
        {"q1 q2 t q3", false, {1, 2, -100}, {1, 2, -100, 3}, true},
        // The ring holds four: the fifth takes the waking way and fetches the four before it.
        {"q1 q2 q3 q4 q5", false, {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.script) + (c.gated ? " (gated)" : ""));
        test::FakeClock clock;
        std::vector<int> log;  // touched only on the queue
        InboxQueue<int> inbox("com.tapwell.test", clock.scheduler(), 4,
                              [&](const int& record) { log.push_back(record); });
        const QueueTimer timer = inbox.makeTimer(1.0, 1.0, 0.0, [&] { log.push_back(-100); });
        clock.settle();
        const std::uint64_t wakesBefore = inbox.queue().wakeCount();
        Latch gate;
        if (c.gated) {
            inbox.queue().async([&] { gate.waitFor(); });
        }
        std::istringstream script(c.script);
        for (std::string step; script >> step;) {
            const int n = step.size() > 1 ? std::stoi(step.substr(1)) : 0;
            switch (step[0]) {
                case 'q':
                    inbox.postQuietly(n);
                    break;
                case 'p':
                    inbox.post(n);
                    break;
                case 'w':
                    inbox.async([&log, n] { log.push_back(-n); });
                    break;
                case 't':
                    clock.advance(1.0);
                    break;
                default:
                    clock.settle();
                    break;
            }
        }
        gate.open();
        clock.settle();
        // Read first: a sync may wake the worker, as the timer is due some time.
        EXPECT_EQ(inbox.queue().wakeCount() != wakesBefore, c.wakes);
        // The queue's own sync delivers nothing: it shows what the queue holds now.
        EXPECT_EQ(inbox.queue().sync([&] { return log; }), c.settled);
        EXPECT_EQ(inbox.sync([&] { return log; }), c.afterSync);
        EXPECT_EQ(inbox.overflows(), c.overflows);
    }
}

}  // namespace
}  // namespace tapwell

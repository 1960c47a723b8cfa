#include "core/InboxQueue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "core/MpscRing.h"
#include "support/Latch.h"

namespace tapwell {
namespace {

using namespace std::chrono_literals;

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

TEST_F(InboxQueueTest, RecordsFromManyThreadsReachAnIdleQueueInEachThreadsOrder) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 3000; ++i) {
                inbox.post(t * 10000 + i);
                if (i % 100 == 0) {
                    std::this_thread::yield();
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const auto records = taken();
    ASSERT_EQ(records.size(), 9000u);
    std::vector<int> next = {0, 10000, 20000};
    for (int record : records) {
        auto& expected = next[static_cast<std::size_t>(record / 10000)];
        ASSERT_EQ(record, expected);
        ++expected;
    }
}

TEST(InboxQueue, ARecordHeldBackBySubmittedWorkArrivesWhenTheWorkIsDone) {
    std::mutex mutex;
    std::condition_variable delivered;
    std::vector<int> log;
    Latch gate;
    InboxQueue<int> inbox("com.tapwell.test", QueueScheduler::system(), 8, [&](const int& record) {
        std::lock_guard lock(mutex);
        log.push_back(record);
        delivered.notify_all();
    });
    inbox.queue().async([&] { gate.waitFor(); });
    inbox.async([] {});
    inbox.post(1);  // after the work: it waits, and nothing else is submitted to fetch it
    gate.open();
    std::unique_lock lock(mutex);
    EXPECT_TRUE(delivered.wait_for(lock, 10s, [&] { return !log.empty(); }));
}

TEST(InboxQueue, DestructionDeliversWhatIsStillInTheRing) {
    std::vector<int> log;
    Latch gate;
    {
        InboxQueue<int> inbox("com.tapwell.test", QueueScheduler::system(), 8,
                              [&](const int& record) { log.push_back(record); });
        inbox.queue().async([&] { gate.waitFor(); });
        inbox.post(1);
        inbox.post(2);
        gate.open();
    }
    EXPECT_EQ(log, (std::vector<int>{1, 2}));
}

}  // namespace
}  // namespace tapwell

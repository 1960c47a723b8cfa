#pragma once
// A serial queue with an inbox for one kind of small record: `post` hands a record to the queue
// without locking or allocating, for callers that must do neither (the key path), and the queue
// delivers the records in posting order. A preallocated ring holds the records, one trigger wakes
// the queue to deliver them.
//
// Records keep their order with the queue's other work: work submitted through `async` or `sync`
// runs after every record posted before it was submitted and before every record posted after.
// So submit all work of the owner through this class, never to the queue directly.
//
// `postQuietly` hands a record over without waking the queue, for owners whose queue wakes often
// enough anyway (a periodic tick): the record waits in the ring and is delivered, in order, before
// the next work, timer firing or woken delivery on the queue, or at destruction. Waking a thread
// costs far more than the record's own handling, so a burst of records then costs one wake-up.
//
// When the ring is full (the queue has fallen far behind), a record takes the ordinary way as
// queued work, which wakes the queue: it still arrives, in order, but that hand-over allocates
// and takes the queue's lock. `overflows()` counts such records.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>

#include "core/MpscRing.h"
#include "core/SerialQueue.h"

namespace tapwell {

template <class T>
class InboxQueue {
  public:
    using Deliver = std::function<void(const T&)>;

    // `deliver` runs on the queue for every record. The ring holds `capacity` records (rounded up
    // to a power of two); `scheduler` must outlive the queue.
    InboxQueue(std::string label, QueueScheduler& scheduler, std::size_t capacity, Deliver deliver)
        : ring_(capacity),
          deliver_(std::move(deliver)),
          queue_(std::move(label), scheduler),
          trigger_(queue_.makeTrigger([this] { deliverUnordered(); })) {}

    // Delivers every record still in the ring after the work queued before; the queue then ends.
    // Not from the queue itself.
    ~InboxQueue() {
        queue_.sync([this] { deliverUpTo(ring_.end()); });
        trigger_.cancel();
    }

    InboxQueue(const InboxQueue&) = delete;
    InboxQueue& operator=(const InboxQueue&) = delete;

    // Any thread.
    void post(const T& record) {
        if (ring_.push(record)) {
            trigger_.signal();
            return;
        }
        handOverQueued(record);
    }

    // Any thread: as `post`, but the queue stays asleep while the ring has room.
    void postQuietly(const T& record) {
        if (!ring_.push(record)) {
            handOverQueued(record);
        }
    }

    void async(std::function<void()> work) {
        const std::uint64_t mark = open();
        queue_.async([this, mark, work = std::move(work)] {
            const Closer closer(*this);
            deliverUpTo(mark);
            work();
        });
    }

    template <class F>
    auto sync(F&& work) -> std::invoke_result_t<F&> {
        const std::uint64_t mark = open();
        return queue_.sync([this, mark, &work]() -> std::invoke_result_t<F&> {
            const Closer closer(*this);
            deliverUpTo(mark);
            return work();
        });
    }

    // A timer on the queue; its handler runs after the records that may be delivered by then.
    [[nodiscard]] QueueTimer makeTimer(double firstDelaySeconds, double intervalSeconds,
                                       double leewaySeconds, std::function<void()> handler) {
        return queue_.makeTimer(firstDelaySeconds, intervalSeconds, leewaySeconds,
                                [this, handler = std::move(handler)] {
                                    deliverUnordered();
                                    handler();
                                });
    }

    bool isCurrent() const { return queue_.isCurrent(); }
    SerialQueue& queue() { return queue_; }
    // Records that found the ring full and took the queued way.
    std::uint64_t overflows() const { return overflows_.load(std::memory_order_relaxed); }

  private:
    // Work that is submitted and has not finished holds back the delivery of records posted after
    // it was submitted: that work delivers the records before its own mark when it runs.
    class Closer {
      public:
        explicit Closer(InboxQueue& inbox) : inbox_(inbox) {}
        ~Closer() {
            inbox_.openWork_.fetch_sub(1);
            // Records that arrived after the mark were left for later: deliver them.
            if (inbox_.ring_.end() != inbox_.ring_.begin()) {
                inbox_.trigger_.signal();
            }
        }
        Closer(const Closer&) = delete;
        Closer& operator=(const Closer&) = delete;

      private:
        InboxQueue& inbox_;
    };

    void handOverQueued(const T& record) {
        overflows_.fetch_add(1, std::memory_order_relaxed);
        async([this, record] { deliver_(record); });
    }

    std::uint64_t open() {
        openWork_.fetch_add(1);
        return ring_.end();
    }

    // On the queue.
    void deliverUpTo(std::uint64_t mark) {
        T record;
        while (ring_.pop(record, mark)) {
            deliver_(record);
        }
    }

    // On the queue, for the trigger and timers: the records that no submitted work waits behind.
    // The end is read before the open work is: work opened after that read takes a mark at or
    // beyond it, so nothing posted after such work was submitted is delivered ahead of it.
    void deliverUnordered() {
        const std::uint64_t end = ring_.end();
        if (openWork_.load() == 0) {
            deliverUpTo(end);
        }
    }

    MpscRing<T> ring_;
    Deliver deliver_;
    std::atomic<std::uint64_t> openWork_{0};
    std::atomic<std::uint64_t> overflows_{0};
    SerialQueue queue_;
    QueueTrigger trigger_;
};

}  // namespace tapwell

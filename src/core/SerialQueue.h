#pragma once
// A serial work queue with its own worker thread, in the manner of a serial dispatch queue.
//
// - async(work): runs `work` on the queue, in submission order; returns at once.
// - sync(work): returns after `work` has run, after everything submitted before it. When the
//   queue is idle, `work` runs right on the caller's thread while the caller holds the queue
//   exclusively: no thread hop, which keeps the key path fast. Calling sync from work that runs
//   on the same queue would deadlock, so it ends the process with an assertion instead.
// - asyncAfter(delay, work): runs `work` once, no earlier than `delay` seconds from now.
// - timers: a first deadline, an optional repeat interval and a leeway. A timer fires on the
//   queue; once `cancel()` has returned, its handler never starts again, even when cancellation
//   races with a firing (a handler that is already running is waited for, unless cancel is
//   called from the queue itself).
// - triggers: work set up once that runs on the queue after it was signalled. Signalling never
//   locks, allocates or blocks, which makes it the way in for the key path. Triggers take turns
//   with queued work but are not ordered with it; cancelling works as for timers.
//
// The worker thread carries the queue's label as its name. Destroying the queue runs the work
// already submitted, drops timers and delayed work, and joins the worker.
//
// Deadlines are taken on the queue's `QueueScheduler`: the monotonic clock unless another is
// given, which lets tests move time by hand. A sleeping worker is woken through a WakeSignal, so
// that waking it needs no lock.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/QueueScheduler.h"
#include "core/WakeSignal.h"

namespace tapwell {

class SerialQueue;
struct QueueWork;

// What timer and trigger handles share: dropping the handle cancels the work.
class QueueWorkHandle {
  public:
    QueueWorkHandle() = default;
    QueueWorkHandle(QueueWorkHandle&&) noexcept = default;
    QueueWorkHandle& operator=(QueueWorkHandle&& other) noexcept;
    QueueWorkHandle(const QueueWorkHandle&) = delete;
    QueueWorkHandle& operator=(const QueueWorkHandle&) = delete;
    ~QueueWorkHandle();

    // Idempotent; callable from any thread, including the work itself. Once it has returned the
    // work never starts again, and a run on another thread has been waited for.
    void cancel();
    bool isActive() const;

  protected:
    explicit QueueWorkHandle(std::shared_ptr<QueueWork> state) : state_(std::move(state)) {}
    std::shared_ptr<QueueWork> state_;
};

// A handle to a timer created by SerialQueue::makeTimer.
class QueueTimer : public QueueWorkHandle {
  public:
    QueueTimer() = default;

  private:
    friend class SerialQueue;
    using QueueWorkHandle::QueueWorkHandle;
};

// A handle to a trigger created by SerialQueue::makeTrigger.
class QueueTrigger : public QueueWorkHandle {
  public:
    QueueTrigger() = default;

    // Any thread, while the queue exists: the work runs soon on the queue. Signals that come
    // before it starts make one run; a signal while it runs makes it run once more. Never locks,
    // allocates or blocks: at most one system call, to wake a sleeping worker.
    void signal() noexcept;

  private:
    friend class SerialQueue;
    using QueueWorkHandle::QueueWorkHandle;
};

class SerialQueue {
  public:
    using TimePoint = QueueScheduler::TimePoint;

    // `scheduler` must outlive the queue.
    explicit SerialQueue(std::string label, QueueScheduler& scheduler = QueueScheduler::system());
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const { return label_; }

    void async(std::function<void()> work);

    // Runs `work` and returns its result (see the header comment for the idle fast path).
    template <class F>
    auto sync(F&& work) -> std::invoke_result_t<F&> {
        using R = std::invoke_result_t<F&>;
        if constexpr (std::is_void_v<R>) {
            syncImpl([&work] { work(); });
        } else {
            std::optional<R> result;
            syncImpl([&work, &result] { result.emplace(work()); });
            return std::move(*result);
        }
    }

    void asyncAfter(double delaySeconds, std::function<void()> work);

    // A timer whose first firing is `firstDelaySeconds` from now; with `intervalSeconds` > 0 it
    // repeats at that interval (deadlines advance from the scheduled time, skipping missed ones),
    // otherwise it fires once. `leewaySeconds` states how late a firing may come; this queue
    // aims at the deadline itself and never moves a firing or the repeat grid by the leeway.
    [[nodiscard]] QueueTimer makeTimer(double firstDelaySeconds, double intervalSeconds,
                                       double leewaySeconds, std::function<void()> handler);

    // Work that runs on the queue whenever it was signalled since it last started.
    [[nodiscard]] QueueTrigger makeTrigger(std::function<void()> work);

    // True while the calling thread runs work of this queue (on the worker or through sync).
    bool isCurrent() const;

    // Wakes-ups of the worker so far; lets tests observe that an idle queue stays asleep.
    std::uint64_t wakeCount() const;

    QueueScheduler& scheduler() const { return scheduler_; }

    // For schedulers whose time does not pass by itself (see QueueScheduler).
    // The earliest deadline of delayed work or a live timer; none when nothing is scheduled.
    std::optional<TimePoint> nextDeadline() const;
    // The scheduler's time moved: wakes the worker when something became due.
    void timeMoved();
    // True when nothing is queued or due and the worker sleeps.
    bool isSettled() const;
    // Waits until isSettled(); false when `timeout` (real time) passed first.
    bool waitUntilSettled(std::chrono::milliseconds timeout) const;

  private:
    struct Item {
        std::function<void()> work;
        bool* done = nullptr;  // set for sync items, guarded by mutex_
    };
    struct Scheduled {
        TimePoint deadline;
        std::uint64_t sequence;
        std::function<void()> work;        // one-shot work, or
        std::shared_ptr<QueueWork> timer;  // a timer firing
    };

    void syncImpl(const std::function<void()>& work);
    void runLoop();
    void schedule(Scheduled entry);
    // Runs a timer's or trigger's work unless it was cancelled.
    void fire(const std::shared_ptr<QueueWork>& work);
    void finishExclusive(std::unique_lock<std::mutex>& lock);
    // The worker's sleep: until `deadline`, or until woken when there is none. With
    // `forTriggers`, a trigger signalled since the worker last looked ends it at once.
    void sleep(std::unique_lock<std::mutex>& lock, std::optional<TimePoint> deadline,
               bool forTriggers);
    // Any thread, no lock held: wakes the worker if it sleeps.
    void wakeWorker() noexcept;
    void dropCancelledTimers();
    // With mutex_ held: the earliest entry is due; some entry that still counts is due.
    bool somethingDue() const;
    bool liveEntryDue() const;
    bool isSettledLocked() const;
    bool triggerPending() const;
    // Takes the first signalled trigger's signal; drops cancelled triggers on the way.
    std::shared_ptr<QueueWork> takeSignalledTrigger();

    std::string label_;
    QueueScheduler& scheduler_;
    mutable std::mutex mutex_;
    std::condition_variable syncDone_;         // slow-path sync callers wait here
    mutable std::condition_variable settled_;  // waitUntilSettled waits here
    std::deque<Item> items_;
    std::vector<Scheduled> scheduled_;  // a min-heap on deadline
    std::vector<std::shared_ptr<QueueWork>> triggers_;
    bool triggersFirst_ = false;  // triggers and queued work take turns
    std::uint64_t nextSequence_ = 0;
    bool busy_ = false;           // someone holds the queue exclusively
    bool workerWaiting_ = false;  // the worker sleeps and must be woken for new work
    bool stopping_ = false;
    std::uint64_t wakeCount_ = 0;
    // The worker sleeps on wakeSignal_. Whoever turns asleep_ from true to false raises it, so
    // exactly one raise answers each sleep.
    std::atomic<bool> asleep_{false};
    WakeSignal wakeSignal_;
    std::thread worker_;

    friend class QueueTrigger;
};

}  // namespace tapwell

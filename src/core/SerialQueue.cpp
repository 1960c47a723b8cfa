#include "core/SerialQueue.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "core/Assert.h"
#include "core/ThreadName.h"

namespace tapwell {

namespace {

// The queues whose work the current thread is running, innermost first (a sync from one queue's
// work onto another nests).
struct Frame {
    const SerialQueue* queue;
    Frame* previous;
};
thread_local Frame* currentFrame = nullptr;

class FrameGuard {
  public:
    explicit FrameGuard(const SerialQueue* queue) : frame_{queue, currentFrame} {
        currentFrame = &frame_;
    }
    ~FrameGuard() { currentFrame = frame_.previous; }
    FrameGuard(const FrameGuard&) = delete;
    FrameGuard& operator=(const FrameGuard&) = delete;

  private:
    Frame frame_;
};

QueueScheduler::Duration toDuration(double seconds) {
    if (!(seconds > 0.0)) {  // also NaN
        return QueueScheduler::Duration::zero();
    }
    return std::chrono::duration_cast<QueueScheduler::Duration>(
        std::chrono::duration<double>(std::min(seconds, 1.0e9)));
}

bool later(const auto& a, const auto& b) {
    if (a.deadline != b.deadline) {
        return a.deadline > b.deadline;
    }
    return a.sequence > b.sequence;
}

}  // namespace

// A timer's or trigger's work and the state shared by its handle and its queue.
struct QueueWork {
    std::mutex fireMutex;  // held while the handler runs
    std::atomic<bool> cancelled{false};
    std::atomic<std::thread::id> firingThread{};
    std::function<void()> handler;        // guarded by fireMutex
    QueueScheduler::Duration interval{};  // timers
    std::atomic<bool> signalled{false};   // triggers: signalled since the work last started
    SerialQueue* queue = nullptr;         // triggers
};

QueueWorkHandle& QueueWorkHandle::operator=(QueueWorkHandle&& other) noexcept {
    if (this != &other) {
        cancel();
        state_ = std::move(other.state_);
    }
    return *this;
}

QueueWorkHandle::~QueueWorkHandle() {
    cancel();
}

void QueueWorkHandle::cancel() {
    if (!state_) {
        return;
    }
    state_->cancelled.store(true);
    // Wait for a firing in progress on another thread, so that nothing of the handler runs after
    // cancel returns. From inside the handler itself there is nothing to wait for.
    if (state_->firingThread.load() != std::this_thread::get_id()) {
        std::lock_guard lock(state_->fireMutex);
        state_->handler = nullptr;
    }
    state_.reset();
}

bool QueueWorkHandle::isActive() const {
    return state_ && !state_->cancelled.load();
}

void QueueTrigger::signal() noexcept {
    if (state_ && !state_->signalled.exchange(true)) {
        state_->queue->wakeWorker();
    }
}

SerialQueue::SerialQueue(std::string label, QueueScheduler& scheduler)
    : label_(std::move(label)), scheduler_(scheduler) {
    scheduler_.attach(*this);
    worker_ = std::thread([this] {
        setCurrentThreadName(label_);
        runLoop();
    });
}

SerialQueue::~SerialQueue() {
    TAPWELL_ASSERT(std::this_thread::get_id() != worker_.get_id(),
                   "a serial queue cannot be destroyed by its own work");
    scheduler_.detach(*this);
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        scheduled_.clear();
    }
    wakeWorker();
    worker_.join();
}

void SerialQueue::wakeWorker() noexcept {
    if (asleep_.exchange(false)) {
        wakeSignal_.raise();
    }
}

void SerialQueue::sleep(std::unique_lock<std::mutex>& lock, std::optional<TimePoint> deadline,
                        bool forTriggers) {
    workerWaiting_ = true;
    asleep_.store(true);
    // A trigger signalled before asleep_ was set saw an awake worker and did not wake it: look
    // again now that a signaller would.
    if (forTriggers && triggerPending()) {
        if (!asleep_.exchange(false)) {
            wakeSignal_.wait(std::nullopt);  // a signaller claimed the wake-up after all: take it
        }
        workerWaiting_ = false;
        return;
    }
    settled_.notify_all();
    lock.unlock();
    bool woken = true;
    if (deadline && scheduler_.passesByItself()) {
        woken = wakeSignal_.wait(*deadline);
    } else {
        // A scheduler that moves time by hand wakes us when a deadline comes.
        wakeSignal_.wait(std::nullopt);
    }
    if (!woken && !asleep_.exchange(false)) {
        // Someone claimed the wake-up just as the deadline came: take its raise, so that the
        // next sleep does not end at once.
        wakeSignal_.wait(std::nullopt);
    }
    lock.lock();
    workerWaiting_ = false;
    ++wakeCount_;
}

void SerialQueue::async(std::function<void()> work) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        items_.push_back(Item{std::move(work), nullptr});
        wake = workerWaiting_ && !busy_;
    }
    if (wake) {
        wakeWorker();
    }
}

bool SerialQueue::isCurrent() const {
    for (const Frame* frame = currentFrame; frame != nullptr; frame = frame->previous) {
        if (frame->queue == this) {
            return true;
        }
    }
    return false;
}

std::uint64_t SerialQueue::wakeCount() const {
    std::lock_guard lock(mutex_);
    return wakeCount_;
}

void SerialQueue::syncImpl(const std::function<void()>& work) {
    TAPWELL_ASSERT(!isCurrent(), "sync called from work running on the same serial queue");
    std::unique_lock lock(mutex_);
    if (!busy_ && items_.empty()) {
        // Idle: run right here while holding the queue.
        busy_ = true;
        lock.unlock();
        {
            FrameGuard guard(this);
            try {
                work();
            } catch (...) {
                lock.lock();
                finishExclusive(lock);
                throw;
            }
        }
        lock.lock();
        finishExclusive(lock);
        return;
    }
    bool done = false;
    items_.push_back(Item{[&work] { work(); }, &done});
    if (workerWaiting_ && !busy_) {
        wakeWorker();
    }
    syncDone_.wait(lock, [&done] { return done; });
}

void SerialQueue::finishExclusive(std::unique_lock<std::mutex>& lock) {
    busy_ = false;
    // The worker only needs a wake-up when it has something to do now.
    const bool wake =
        workerWaiting_ && (!items_.empty() || !scheduled_.empty() || triggerPending());
    settled_.notify_all();
    lock.unlock();
    if (wake) {
        wakeWorker();
    }
}

void SerialQueue::asyncAfter(double delaySeconds, std::function<void()> work) {
    schedule(Scheduled{scheduler_.now() + toDuration(delaySeconds), 0, std::move(work), nullptr});
}

QueueTimer SerialQueue::makeTimer(double firstDelaySeconds, double intervalSeconds,
                                  double leewaySeconds, std::function<void()> handler) {
    auto state = std::make_shared<QueueWork>();
    state->handler = std::move(handler);
    state->interval = toDuration(intervalSeconds);
    (void)leewaySeconds;  // see the header: firings aim at the deadline
    schedule(Scheduled{scheduler_.now() + toDuration(firstDelaySeconds), 0, nullptr, state});
    return QueueTimer(std::move(state));
}

void SerialQueue::schedule(Scheduled entry) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return;
        }
        entry.sequence = nextSequence_++;
        scheduled_.push_back(std::move(entry));
        std::push_heap(scheduled_.begin(), scheduled_.end(),
                       [](const Scheduled& a, const Scheduled& b) { return later(a, b); });
        wake = workerWaiting_ && !busy_;
    }
    if (wake) {
        wakeWorker();
    }
}

QueueTrigger SerialQueue::makeTrigger(std::function<void()> work) {
    auto state = std::make_shared<QueueWork>();
    state->handler = std::move(work);
    state->queue = this;
    std::lock_guard lock(mutex_);
    triggers_.push_back(state);
    return QueueTrigger(std::move(state));
}

void SerialQueue::fire(const std::shared_ptr<QueueWork>& work) {
    std::lock_guard lock(work->fireMutex);
    if (work->cancelled.load() || !work->handler) {
        work->handler = nullptr;
        return;
    }
    work->firingThread.store(std::this_thread::get_id());
    work->handler();
    work->firingThread.store(std::thread::id{});
    if (work->cancelled.load()) {
        work->handler = nullptr;  // cancelled from inside its own handler
    }
}

bool SerialQueue::triggerPending() const {
    return std::any_of(triggers_.begin(), triggers_.end(), [](const auto& trigger) {
        return trigger->signalled.load() && !trigger->cancelled.load();
    });
}

std::shared_ptr<QueueWork> SerialQueue::takeSignalledTrigger() {
    for (auto it = triggers_.begin(); it != triggers_.end();) {
        if ((*it)->cancelled.load()) {
            it = triggers_.erase(it);
            continue;
        }
        // Cleared before the work starts, so that a signal while it runs makes it run again.
        if ((*it)->signalled.exchange(false)) {
            return *it;
        }
        ++it;
    }
    return nullptr;
}

void SerialQueue::dropCancelledTimers() {
    const auto heapOrder = [](const Scheduled& a, const Scheduled& b) { return later(a, b); };
    while (!scheduled_.empty() && scheduled_.front().timer &&
           scheduled_.front().timer->cancelled.load()) {
        std::pop_heap(scheduled_.begin(), scheduled_.end(), heapOrder);
        scheduled_.pop_back();
    }
}

bool SerialQueue::somethingDue() const {
    return !scheduled_.empty() && scheduled_.front().deadline <= scheduler_.now();
}

bool SerialQueue::liveEntryDue() const {
    const TimePoint now = scheduler_.now();
    return std::any_of(scheduled_.begin(), scheduled_.end(), [now](const Scheduled& entry) {
        return entry.deadline <= now && !(entry.timer && entry.timer->cancelled.load());
    });
}

void SerialQueue::runLoop() {
    const auto heapOrder = [](const Scheduled& a, const Scheduled& b) { return later(a, b); };
    std::unique_lock lock(mutex_);
    for (;;) {
        if (busy_) {
            // A sync caller holds the queue; it wakes us when it is done and we have work.
            sleep(lock, std::nullopt, false);
            continue;
        }
        // A due timer goes ahead of queued items, so a steady stream of work cannot hold it off.
        const bool timerDue = !stopping_ && somethingDue();
        if (!timerDue && (triggersFirst_ || items_.empty())) {
            if (std::shared_ptr<QueueWork> trigger = takeSignalledTrigger()) {
                triggersFirst_ = false;
                busy_ = true;
                lock.unlock();
                {
                    FrameGuard guard(this);
                    fire(trigger);
                }
                trigger.reset();
                lock.lock();
                busy_ = false;
                continue;
            }
        }
        if (!items_.empty() && !timerDue) {
            triggersFirst_ = true;
            Item item = std::move(items_.front());
            items_.pop_front();
            busy_ = true;
            lock.unlock();
            {
                FrameGuard guard(this);
                item.work();
            }
            item.work = nullptr;  // release captures before reporting completion
            lock.lock();
            busy_ = false;
            if (item.done != nullptr) {
                *item.done = true;
                syncDone_.notify_all();
            }
            continue;
        }
        if (stopping_) {
            return;
        }
        // Cancelled timers need not wake us.
        dropCancelledTimers();
        if (!scheduled_.empty()) {
            if (somethingDue()) {
                std::pop_heap(scheduled_.begin(), scheduled_.end(), heapOrder);
                Scheduled entry = std::move(scheduled_.back());
                scheduled_.pop_back();
                busy_ = true;
                lock.unlock();
                {
                    FrameGuard guard(this);
                    if (entry.timer) {
                        fire(entry.timer);
                    } else {
                        entry.work();
                    }
                }
                lock.lock();
                busy_ = false;
                if (entry.timer && entry.timer->interval > QueueScheduler::Duration::zero() &&
                    !entry.timer->cancelled.load() && !stopping_) {
                    // Next deadline on the original grid, skipping the ones already missed.
                    auto next = entry.deadline + entry.timer->interval;
                    const auto current = scheduler_.now();
                    if (next <= current) {
                        const auto missed = (current - next) / entry.timer->interval + 1;
                        next += entry.timer->interval * missed;
                    }
                    entry.deadline = next;
                    entry.sequence = nextSequence_++;
                    entry.work = nullptr;
                    scheduled_.push_back(std::move(entry));
                    std::push_heap(scheduled_.begin(), scheduled_.end(), heapOrder);
                }
                continue;
            }
            if (!items_.empty()) {
                continue;  // the due entry was a cancelled timer: back to the queued work
            }
            sleep(lock, scheduled_.front().deadline, true);
            continue;
        }
        if (!items_.empty()) {
            continue;
        }
        sleep(lock, std::nullopt, true);
    }
}

std::optional<SerialQueue::TimePoint> SerialQueue::nextDeadline() const {
    std::lock_guard lock(mutex_);
    std::optional<TimePoint> earliest;
    for (const Scheduled& entry : scheduled_) {
        if (entry.timer && entry.timer->cancelled.load()) {
            continue;
        }
        if (!earliest || entry.deadline < *earliest) {
            earliest = entry.deadline;
        }
    }
    return earliest;
}

void SerialQueue::timeMoved() {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        wake = workerWaiting_ && !busy_ && liveEntryDue();
    }
    if (wake) {
        wakeWorker();
    }
}

bool SerialQueue::isSettledLocked() const {
    // A worker whose wake-up was claimed still counts as waiting until it runs: it is not asleep
    // any more, and its wake-up would otherwise be counted after the caller was told it slept.
    return workerWaiting_ && asleep_.load() && !busy_ && items_.empty() && !liveEntryDue() &&
           !triggerPending();
}

bool SerialQueue::isSettled() const {
    std::lock_guard lock(mutex_);
    return isSettledLocked();
}

bool SerialQueue::waitUntilSettled(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return settled_.wait_for(lock, timeout, [this] { return isSettledLocked(); });
}

}  // namespace tapwell

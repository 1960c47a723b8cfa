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

SerialQueue::Clock::duration toDuration(double seconds) {
    if (!(seconds > 0.0)) {  // also NaN
        return SerialQueue::Clock::duration::zero();
    }
    return std::chrono::duration_cast<SerialQueue::Clock::duration>(
        std::chrono::duration<double>(std::min(seconds, 1.0e9)));
}

bool later(const auto& a, const auto& b) {
    if (a.deadline != b.deadline) {
        return a.deadline > b.deadline;
    }
    return a.sequence > b.sequence;
}

}  // namespace

struct QueueTimer::State {
    std::mutex fireMutex;  // held while the handler runs
    std::atomic<bool> cancelled{false};
    std::atomic<std::thread::id> firingThread{};
    std::function<void()> handler;  // guarded by fireMutex
    SerialQueue::Clock::duration interval{};
    SerialQueue::Clock::duration leeway{};
};

QueueTimer& QueueTimer::operator=(QueueTimer&& other) noexcept {
    if (this != &other) {
        cancel();
        state_ = std::move(other.state_);
    }
    return *this;
}

QueueTimer::~QueueTimer() { cancel(); }

void QueueTimer::cancel() {
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

bool QueueTimer::isActive() const { return state_ && !state_->cancelled.load(); }

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)) {
    worker_ = std::thread([this] {
        setCurrentThreadName(label_);
        runLoop();
    });
}

SerialQueue::~SerialQueue() {
    TAPWELL_ASSERT(std::this_thread::get_id() != worker_.get_id(),
                   "a serial queue cannot be destroyed by its own work");
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        scheduled_.clear();
    }
    wake_.notify_all();
    worker_.join();
}

void SerialQueue::async(std::function<void()> work) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        items_.push_back(Item{std::move(work), nullptr});
        wake = workerWaiting_ && !busy_;
    }
    if (wake) {
        wake_.notify_one();
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
    const bool wake = workerWaiting_ && !busy_;
    if (wake) {
        wake_.notify_one();
    }
    syncDone_.wait(lock, [&done] { return done; });
}

void SerialQueue::finishExclusive(std::unique_lock<std::mutex>& lock) {
    busy_ = false;
    // The worker only needs a wake-up when it has something to do now.
    const bool wake = workerWaiting_ && (!items_.empty() || !scheduled_.empty());
    lock.unlock();
    if (wake) {
        wake_.notify_one();
    }
}

void SerialQueue::asyncAfter(double delaySeconds, std::function<void()> work) {
    const auto deadline = Clock::now() + toDuration(delaySeconds);
    Scheduled entry{deadline, deadline, 0, std::move(work), nullptr};
    schedule(std::move(entry));
}

QueueTimer SerialQueue::makeTimer(double firstDelaySeconds, double intervalSeconds,
                                  double leewaySeconds, std::function<void()> handler) {
    auto state = std::make_shared<QueueTimer::State>();
    state->handler = std::move(handler);
    state->interval = toDuration(intervalSeconds);
    state->leeway = toDuration(leewaySeconds);
    const auto deadline = Clock::now() + toDuration(firstDelaySeconds);
    schedule(Scheduled{deadline, deadline + state->leeway, 0, nullptr, state});
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
        wake_.notify_one();
    }
}

void SerialQueue::fireTimer(const std::shared_ptr<QueueTimer::State>& timer) {
    std::lock_guard lock(timer->fireMutex);
    if (timer->cancelled.load() || !timer->handler) {
        timer->handler = nullptr;
        return;
    }
    timer->firingThread.store(std::this_thread::get_id());
    timer->handler();
    timer->firingThread.store(std::thread::id{});
    if (timer->cancelled.load()) {
        timer->handler = nullptr;  // cancelled from inside its own handler
    }
}

void SerialQueue::runLoop() {
    const auto heapOrder = [](const Scheduled& a, const Scheduled& b) { return later(a, b); };
    std::unique_lock lock(mutex_);
    for (;;) {
        if (busy_) {
            // A sync caller holds the queue; it wakes us when it is done and we have work.
            workerWaiting_ = true;
            wake_.wait(lock);
            workerWaiting_ = false;
            ++wakeCount_;
            continue;
        }
        // A due timer goes ahead of queued items, so a steady stream of work cannot hold it off.
        const bool timerDue = !scheduled_.empty() && !stopping_ &&
                              scheduled_.front().deadline <= Clock::now();
        if (!items_.empty() && !timerDue) {
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
        while (!scheduled_.empty() && scheduled_.front().timer &&
               scheduled_.front().timer->cancelled.load()) {
            std::pop_heap(scheduled_.begin(), scheduled_.end(), heapOrder);
            scheduled_.pop_back();
        }
        if (!scheduled_.empty()) {
            const auto now = Clock::now();
            if (scheduled_.front().deadline <= now) {
                std::pop_heap(scheduled_.begin(), scheduled_.end(), heapOrder);
                Scheduled entry = std::move(scheduled_.back());
                scheduled_.pop_back();
                busy_ = true;
                lock.unlock();
                {
                    FrameGuard guard(this);
                    if (entry.timer) {
                        fireTimer(entry.timer);
                    } else {
                        entry.work();
                    }
                }
                lock.lock();
                busy_ = false;
                if (entry.timer && entry.timer->interval > Clock::duration::zero() &&
                    !entry.timer->cancelled.load() && !stopping_) {
                    // Next deadline on the original grid, skipping the ones already missed.
                    auto next = entry.deadline + entry.timer->interval;
                    const auto current = Clock::now();
                    if (next <= current) {
                        const auto missed = (current - next) / entry.timer->interval + 1;
                        next += entry.timer->interval * missed;
                    }
                    entry.deadline = next;
                    entry.latest = next + entry.timer->leeway;
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
            // A copy: the heap may reallocate while we wait.
            const auto deadline = scheduled_.front().deadline;
            workerWaiting_ = true;
            wake_.wait_until(lock, deadline);
            workerWaiting_ = false;
            ++wakeCount_;
            continue;
        }
        if (!items_.empty()) {
            continue;
        }
        workerWaiting_ = true;
        wake_.wait(lock);
        workerWaiting_ = false;
        ++wakeCount_;
    }
}

}  // namespace tapwell

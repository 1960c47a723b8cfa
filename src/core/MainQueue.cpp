#include "core/MainQueue.h"

namespace tapwell {

void PumpedMainQueue::post(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        work_.push_back(std::move(work));
    }
    posted_.notify_all();
}

std::size_t PumpedMainQueue::runPending() {
    std::size_t ran = 0;
    for (;;) {
        std::function<void()> next;
        {
            std::lock_guard lock(mutex_);
            if (work_.empty()) {
                return ran;
            }
            next = std::move(work_.front());
            work_.pop_front();
        }
        next();
        ++ran;
    }
}

std::size_t PumpedMainQueue::runFor(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(mutex_);
        posted_.wait_for(lock, timeout, [this] { return !work_.empty(); });
    }
    return runPending();
}

bool PumpedMainQueue::runUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    runPending();
    while (!done()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return false;
        }
        auto slice = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        runFor(std::min(slice, std::chrono::milliseconds(20)));
    }
    return true;
}

std::size_t PumpedMainQueue::pendingCount() const {
    std::lock_guard lock(mutex_);
    return work_.size();
}

}  // namespace tapwell

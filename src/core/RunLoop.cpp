#include "core/RunLoop.h"

namespace tapwell {

RunLoop::RunLoop(std::function<Clock::time_point()> now) : now_(std::move(now)) {}

void RunLoop::post(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(work));
    }
    wake_.notify_one();
}

void RunLoop::quit(int status) {
    {
        std::lock_guard lock(mutex_);
        if (!quitting_) {
            quitting_ = true;
            status_ = status;
        }
    }
    wake_.notify_one();
}

void RunLoop::schedule(double seconds, std::function<void()> work) {
    const auto delay = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(seconds > 0.0 ? seconds : 0.0));
    std::lock_guard lock(mutex_);
    timers_.emplace(std::pair{now_() + delay, sequence_++}, std::move(work));
    // Scheduled from the loop's own thread: the loop looks at the timers before it waits again.
}

int RunLoop::run() {
    std::unique_lock lock(mutex_);
    while (!quitting_) {
        // One batch of posted work, then the timers due by then, so that neither starves the
        // other when work keeps posting or scheduling more.
        auto batch = std::move(posted_);
        posted_.clear();
        for (auto& work : batch) {
            if (quitting_) {
                break;
            }
            lock.unlock();
            work();
            lock.lock();
        }
        const auto now = now_();
        bool ranTimer = false;
        while (!quitting_ && !timers_.empty() && timers_.begin()->first.first <= now) {
            auto work = std::move(timers_.begin()->second);
            timers_.erase(timers_.begin());
            lock.unlock();
            work();
            lock.lock();
            ranTimer = true;
        }
        if (quitting_ || !batch.empty() || ranTimer || !posted_.empty()) {
            continue;
        }
        if (timers_.empty()) {
            wake_.wait(lock);
        } else {
            // The deadline is on the loop's clock, which need not be this one: wait for the span.
            wake_.wait_for(lock, timers_.begin()->first.first - now);
        }
    }
    return status_;
}

}  // namespace tapwell

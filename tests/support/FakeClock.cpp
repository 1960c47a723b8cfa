#include "support/FakeClock.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "core/SerialQueue.h"

namespace tapwell::test {

namespace {

std::int64_t toNanoseconds(double seconds) {
    return std::llround(seconds * 1e9);
}

}  // namespace

// The scheduler of the queues on a fake clock: their time is the clock's uptime.
class FakeClock::Timers final : public QueueScheduler {
  public:
    explicit Timers(const FakeClock& clock) : clock_(clock) {}

    TimePoint now() const override {
        return TimePoint(std::chrono::duration_cast<Duration>(
            std::chrono::nanoseconds(clock_.uptimeNanoseconds())));
    }
    bool passesByItself() const override { return false; }

    void attach(SerialQueue& queue) override {
        std::lock_guard lock(mutex_);
        queues_.push_back(&queue);
    }
    void detach(SerialQueue& queue) override {
        std::unique_lock lock(mutex_);
        // A queue that goes away while time moves would leave a dangling entry in the pass.
        stillMoving_.wait(lock, [this] { return !moving_; });
        queues_.erase(std::remove(queues_.begin(), queues_.end(), &queue), queues_.end());
    }
    bool empty() const {
        std::lock_guard lock(mutex_);
        return queues_.empty();
    }

    // Marks the span in which queues are driven; no queue detaches meanwhile.
    class Moving {
      public:
        explicit Moving(Timers& timers) : timers_(timers) {
            std::lock_guard lock(timers_.mutex_);
            timers_.moving_ = true;
        }
        ~Moving() {
            {
                std::lock_guard lock(timers_.mutex_);
                timers_.moving_ = false;
            }
            timers_.stillMoving_.notify_all();
        }
        Moving(const Moving&) = delete;
        Moving& operator=(const Moving&) = delete;

      private:
        Timers& timers_;
    };

    // Wakes every queue whose work fell due and waits until all of them sleep again; work on one
    // queue may hand work to another, so it goes round until a whole round waited for nothing.
    void settle() {
        for (SerialQueue* queue : queues()) {
            queue->timeMoved();
        }
        for (bool waited = true; waited;) {
            waited = false;
            for (SerialQueue* queue : queues()) {
                if (queue->isSettled()) {
                    continue;
                }
                waited = true;
                if (!queue->waitUntilSettled(std::chrono::seconds(10))) {
                    throw std::runtime_error("the queue " + queue->label() +
                                             " did not settle within ten seconds");
                }
            }
        }
    }

    // The earliest deadline on any queue, in nanoseconds of uptime.
    std::optional<std::int64_t> nextDeadline() {
        std::optional<std::int64_t> earliest;
        for (SerialQueue* queue : queues()) {
            if (const auto deadline = queue->nextDeadline()) {
                const std::int64_t at = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                            deadline->time_since_epoch())
                                            .count();
                earliest = std::min(earliest.value_or(at), at);
            }
        }
        return earliest;
    }

  private:
    std::vector<SerialQueue*> queues() const {
        std::lock_guard lock(mutex_);
        return queues_;
    }

    const FakeClock& clock_;
    mutable std::mutex mutex_;
    std::condition_variable stillMoving_;
    std::vector<SerialQueue*> queues_;
    bool moving_ = false;
};

FakeClock::FakeClock(Date now, double uptime, std::string zone)
    : now_(now),
      uptime_(toNanoseconds(uptime)),
      zone_(std::move(zone)),
      timers_(std::make_unique<Timers>(*this)) {}

FakeClock::~FakeClock() {
    if (!timers_->empty()) {
        std::fputs("FakeClock destroyed while queues still run on it\n", stderr);
        std::abort();
    }
}

Date FakeClock::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

double FakeClock::uptime() const {
    std::lock_guard lock(mutex_);
    return static_cast<double>(uptime_) / 1e9;
}

std::int64_t FakeClock::uptimeNanoseconds() const {
    std::lock_guard lock(mutex_);
    return uptime_;
}

Calendar FakeClock::calendar() const {
    std::string zone;
    {
        std::lock_guard lock(mutex_);
        zone = zone_;
    }
    auto calendar = Calendar::inZone(zone);
    if (!calendar) {
        throw std::invalid_argument("unknown time zone " + zone);
    }
    return *calendar;
}

QueueScheduler& FakeClock::scheduler() const {
    return *timers_;
}

void FakeClock::moveTo(std::int64_t nanoseconds) {
    std::lock_guard lock(mutex_);
    if (nanoseconds > uptime_) {
        now_ = now_ + static_cast<double>(nanoseconds - uptime_) / 1e9;
        uptime_ = nanoseconds;
    }
}

void FakeClock::move(double seconds, bool stopAtDeadlines) {
    std::int64_t target = 0;
    Date wallTarget;
    {
        std::lock_guard lock(mutex_);
        target = uptime_ + std::max<std::int64_t>(0, toNanoseconds(seconds));
        wallTarget = now_ + std::max(0.0, seconds);
    }
    Timers::Moving moving(*timers_);
    timers_->settle();
    while (stopAtDeadlines) {
        const auto next = timers_->nextDeadline();
        if (!next || *next > target) {
            break;
        }
        moveTo(*next);
        timers_->settle();
    }
    {
        // Exactly the time asked for, whatever the stops on the way added up to.
        std::lock_guard lock(mutex_);
        uptime_ = target;
        now_ = wallTarget;
    }
    timers_->settle();
}

void FakeClock::advance(double seconds) {
    move(seconds, true);
}

void FakeClock::jump(double seconds) {
    move(seconds, false);
}

void FakeClock::settle() {
    Timers::Moving moving(*timers_);
    timers_->settle();
}

void FakeClock::setNow(Date now) {
    std::lock_guard lock(mutex_);
    now_ = now;
}

void FakeClock::setTimeZone(std::string zone) {
    std::lock_guard lock(mutex_);
    zone_ = std::move(zone);
}

}  // namespace tapwell::test

#pragma once
// Where serial queues take the time of their timers and delayed work from. The program runs its
// queues on the machine's monotonic clock; tests run them on a scheduler whose time they move by
// hand, so that timers fire exactly when a test says and no test waits for real time to pass.
//
// A scheduler whose time does not pass by itself wakes the queues attached to it whenever it
// moves its time (SerialQueue::timeMoved) and may wait until they have run what became due
// (SerialQueue::waitUntilSettled).

#include <chrono>

namespace tapwell {

class SerialQueue;

class QueueScheduler {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Duration = std::chrono::steady_clock::duration;

    virtual ~QueueScheduler() = default;

    virtual TimePoint now() const = 0;
    // True when time passes on its own, so that a queue waiting for a deadline sets an alarm for
    // it; false when the scheduler moves time and wakes its queues itself.
    virtual bool passesByItself() const = 0;
    // Every queue attaches itself when it is created and detaches before it goes away.
    virtual void attach(SerialQueue& queue) = 0;
    virtual void detach(SerialQueue& queue) = 0;

    // The machine's monotonic clock (CLOCK_MONOTONIC, the clock of uptime and key time stamps).
    static QueueScheduler& system();
};

}  // namespace tapwell

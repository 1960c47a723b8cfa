#pragma once
// A clock that tests move by hand, together with the timers of every queue that runs on it (the
// services take their queues' scheduler from their clock). Thread-safe, so a service's queue may
// read it while the test moves it.
//
// Moving time runs the timers and delayed work that fall due, on their own queues, before the
// call returns: `advance` stops at every deadline on the way, so a handler sees the clock at its
// own deadline; `jump` moves in one step, like a machine that stalled, so a repeating timer fires
// once and skips the deadlines it missed. A queue that does not settle within ten seconds of real
// time fails the test with an exception. Queues must not be destroyed by work that runs while
// time moves, and must be gone before the clock.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "core/Calendar.h"
#include "core/Clock.h"

namespace tapwell::test {

class FakeClock final : public Clock {
  public:
    explicit FakeClock(Date now = Date{0.0}, double uptime = 1000.0, std::string zone = "UTC");
    ~FakeClock() override;
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    Date now() const override;
    double uptime() const override;
    Calendar calendar() const override;
    QueueScheduler& scheduler() const override;

    // Moves wall time and uptime forward together, stopping at each deadline on the way.
    void advance(double seconds);
    // Moves wall time and uptime forward together in one step.
    void jump(double seconds);
    // Runs what is due or queued now and returns once every queue on this clock sleeps.
    void settle();
    // Sets the wall time alone.
    void setNow(Date now);
    void setTimeZone(std::string zone);

  private:
    class Timers;

    std::int64_t uptimeNanoseconds() const;
    // Moves uptime to `nanoseconds` (never back) and wall time by as much.
    void moveTo(std::int64_t nanoseconds);
    void move(double seconds, bool stopAtDeadlines);

    mutable std::mutex mutex_;
    Date now_;
    std::int64_t uptime_;  // nanoseconds, so that queue deadlines are met exactly
    std::string zone_;
    std::unique_ptr<Timers> timers_;
};

}  // namespace tapwell::test

#pragma once
// Delayed work on the main thread, cancellable: what short-lived on-screen effects (a badge that
// fades, a button that reverts) wait with. The application runs it on its event loop; tests
// use a manual timer and move its time by hand, so nothing sleeps. Main thread only.

#include <functional>
#include <memory>

namespace tapwell {

// The handle of one piece of scheduled work. Cancelling it keeps the work from running;
// cancelling work that already ran does nothing. Dropping the handle does not cancel.
class ScheduledWork {
  public:
    ScheduledWork() = default;

    void cancel();
    // Scheduled, and neither run nor cancelled yet.
    bool pending() const;

  private:
    friend class MainTimer;
    struct State {
        bool done = false;
    };
    explicit ScheduledWork(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

class MainTimer {
  public:
    virtual ~MainTimer() = default;

    // Runs `work` on the main thread `seconds` from now (at once for zero or less), unless the
    // returned handle is cancelled first. Work due at the same moment runs in scheduling order.
    ScheduledWork after(double seconds, std::function<void()> work);

  protected:
    // Runs `work` once after `seconds`; the implementation's only duty.
    virtual void schedule(double seconds, std::function<void()> work) = 0;
};

}  // namespace tapwell

#pragma once
// What a serial queue's worker sleeps on: a signal that any thread raises without locking,
// allocating or blocking, and that one thread waits for, with or without a deadline on the
// monotonic clock. Each raise is used up by one wait. The system's adapter implements it.

#include <chrono>
#include <memory>
#include <optional>

namespace tapwell {

class WakeSignal {
  public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    void raise() noexcept;
    // Waits until the signal is raised or `deadline` has come; true when raised.
    bool wait(std::optional<std::chrono::steady_clock::time_point> deadline);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tapwell

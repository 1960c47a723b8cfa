#pragma once
// The main thread's loop for a run without windows: work posted from any thread and delayed work
// run on the thread that called `run`, until `quit`. The windows bring their toolkit's loop
// instead; this one needs nothing but the standard library, so such a run loads no toolkit.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

#include "core/MainQueue.h"
#include "core/MainTimer.h"

namespace tapwell {

class RunLoop final : public MainQueue, public MainTimer {
  public:
    using Clock = std::chrono::steady_clock;
    // `now` is the loop's clock; tests move a clock of their own and post to wake the loop.
    explicit RunLoop(std::function<Clock::time_point()> now = &Clock::now);

    // Thread-safe.
    void post(std::function<void()> work) override;
    // Runs posted and due work until `quit`; returns the status given to it. A quit asked for
    // before `run` makes it return at once.
    int run();
    // Thread-safe, also from work the loop runs: `run` returns once the work running now ends;
    // what is still queued is left unrun.
    void quit(int status = 0);

  protected:
    // Main thread only (the thread that runs the loop, or the one that will).
    void schedule(double seconds, std::function<void()> work) override;

  private:
    std::function<Clock::time_point()> now_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> posted_;
    // By deadline, then by scheduling order.
    std::map<std::pair<Clock::time_point, std::uint64_t>, std::function<void()>> timers_;
    std::uint64_t sequence_ = 0;
    bool quitting_ = false;
    int status_ = 0;
};

}  // namespace tapwell

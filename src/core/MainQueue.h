#pragma once
// "Post to the main thread": the only way services' callbacks reach the application state. The
// application posts through its event loop (the toolkit's with windows, `RunLoop` without);
// tests and headless tools use `PumpedMainQueue` and run the posted work when they choose.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace tapwell {

class MainQueue {
public:
    virtual ~MainQueue() = default;
    // Thread-safe; `work` runs later on the main thread, in posting order.
    virtual void post(std::function<void()> work) = 0;
};

// A main queue that runs nothing by itself: the owning thread pumps it.
class PumpedMainQueue final : public MainQueue {
public:
    void post(std::function<void()> work) override;

    // Runs everything posted so far (and what that posts in turn), returns how many ran.
    std::size_t runPending();
    // Waits up to `timeout` for work, then runs what is pending; returns how many ran.
    std::size_t runFor(std::chrono::milliseconds timeout);
    // Pumps until `done()` is true or `timeout` passes; returns done().
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    std::size_t pendingCount() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> work_;
};

}  // namespace tapwell

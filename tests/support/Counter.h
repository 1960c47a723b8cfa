#pragma once
// A count that one thread raises and another waits for, with a time limit, so that a test waiting
// for something that never comes fails instead of hanging.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tapwell::test {

class Counter {
  public:
    void add() {
        std::lock_guard lock(mutex_);
        ++count_;
        changed_.notify_all();
    }
    int value() {
        std::lock_guard lock(mutex_);
        return count_;
    }
    // True once the count is at least `wanted`; false when `timeout` passed first.
    bool waitFor(int wanted, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return count_ >= wanted; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;
};

}  // namespace tapwell::test

#pragma once
// A one-way gate between threads, for tests that hold a queue's worker or wait for another thread.
// Waiting ends after a time limit, so a test that waits for something that never comes fails.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tapwell::test {

class Latch {
  public:
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        cv_.notify_all();
    }
    // True once open; false when `timeout` passed first.
    bool waitFor(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, timeout, [this] { return open_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
};

}  // namespace tapwell::test

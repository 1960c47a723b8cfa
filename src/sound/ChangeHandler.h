#pragma once
// An output's configuration-change handler (`AudioOutput::setConfigurationChangeHandler`): set on
// one thread, called on another. It runs with the lock held, so once `set` returns the handler it
// replaced is not running and is never called again.

#include <functional>
#include <mutex>

namespace tapwell {

class ChangeHandler {
  public:
    void set(std::function<void()> handler) {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }
    // Calls the handler, when one is set.
    void operator()() {
        std::lock_guard lock(mutex_);
        if (handler_) {
            handler_();
        }
    }

  private:
    std::mutex mutex_;
    std::function<void()> handler_;
};

}  // namespace tapwell

#pragma once
// The flag with which the application diverts global key events while the onboarding window
// takes typing. Written on the main thread, read on the main and key monitor threads; an atomic,
// so that the key path takes no lock for it.

#include <atomic>

namespace tapwell {

class KeyGate {
  public:
    bool value() const { return value_.load(std::memory_order_acquire); }
    void setValue(bool value) { value_.store(value, std::memory_order_release); }

  private:
    std::atomic<bool> value_{false};
};

}  // namespace tapwell

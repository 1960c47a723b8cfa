#pragma once
// The flag with which the application diverts global key events while the onboarding window
// takes typing. Written on the main thread, read on the main and key monitor threads.

#include <mutex>

namespace tapwell {

class KeyGate {
public:
    bool value() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void setValue(bool value) {
        std::lock_guard lock(mutex_);
        value_ = value;
    }

private:
    mutable std::mutex mutex_;
    bool value_ = false;
};

}  // namespace tapwell

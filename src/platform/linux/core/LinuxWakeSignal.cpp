#include <semaphore.h>

#include <cerrno>
#include <ctime>

#include "core/WakeSignal.h"

namespace tapwell {

// A POSIX semaphore: sem_post is a lock-free increment plus a futex wake when someone sleeps, and
// sem_clockwait takes an absolute deadline on CLOCK_MONOTONIC, the clock of steady_clock.
struct WakeSignal::State {
    sem_t semaphore{};
};

WakeSignal::WakeSignal() : state_(std::make_unique<State>()) {
    ::sem_init(&state_->semaphore, 0, 0);
}

WakeSignal::~WakeSignal() {
    ::sem_destroy(&state_->semaphore);
}

void WakeSignal::raise() noexcept {
    ::sem_post(&state_->semaphore);
}

bool WakeSignal::wait(std::optional<std::chrono::steady_clock::time_point> deadline) {
    if (!deadline) {
        while (::sem_wait(&state_->semaphore) != 0) {
            // EINTR only: a signal handler ran.
        }
        return true;
    }
    const auto since = deadline->time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
    timespec at{};
    at.tv_sec = static_cast<time_t>(seconds.count());
    at.tv_nsec = static_cast<long>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count());
    if (at.tv_sec < 0) {
        at = timespec{};
    }
    for (;;) {
        if (::sem_clockwait(&state_->semaphore, CLOCK_MONOTONIC, &at) == 0) {
            return true;
        }
        if (errno != EINTR) {
            return false;  // ETIMEDOUT
        }
    }
}

}  // namespace tapwell

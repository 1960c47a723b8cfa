#include "support/ManualMainTimer.h"

#include <algorithm>

namespace tapwell::test {

void ManualMainTimer::schedule(double seconds, std::function<void()> work) {
    queue_.emplace(std::pair{now_ + std::max(seconds, 0.0), sequence_++}, std::move(work));
}

void ManualMainTimer::advance(double seconds) {
    const double end = now_ + seconds;
    // A small tolerance, so that 0.8 + 0.2 reaches work due at 1.0.
    constexpr double epsilon = 1e-9;
    while (!queue_.empty() && queue_.begin()->first.first <= end + epsilon) {
        auto next = queue_.extract(queue_.begin());
        now_ = std::max(now_, next.key().first);
        next.mapped()();
    }
    now_ = end;
}

}  // namespace tapwell::test

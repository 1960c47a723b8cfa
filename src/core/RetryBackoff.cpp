#include "core/RetryBackoff.h"

#include <algorithm>

namespace tapwell {

RetryBackoff::RetryBackoff(double firstSeconds, double longestSeconds)
    : first_(firstSeconds), longest_(std::max(firstSeconds, longestSeconds)), current_(first_) {}

double RetryBackoff::next() {
    const double wait = current_;
    current_ = std::min(current_ * 2.0, longest_);
    return wait;
}

void RetryBackoff::reset() {
    current_ = first_;
}

}  // namespace tapwell

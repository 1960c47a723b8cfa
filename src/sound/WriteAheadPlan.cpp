#include "sound/WriteAheadPlan.h"

#include <algorithm>
#include <numeric>

namespace tapwell {

std::uint64_t WriteAheadPlan::rewriteFrom(std::optional<std::uint64_t> playing,
                                          std::uint64_t serverFloor, std::uint64_t written,
                                          bool paused) {
    if (!playing) {
        // Appending decides nothing about the frames before: the source keeps its own floor.
        return written;
    }
    const std::uint64_t from =
        std::min(std::max({*playing + (paused ? 0 : margin_), serverFloor, floor_}), written);
    floor_ = std::max(floor_, from);
    return from;
}

void GraphQuantum::read(std::uint64_t frame) {
    if (last_ && frame > *last_) {
        steps_[count_ % kept] = frame - *last_;
        ++count_;
    } else if (last_ && frame < *last_) {
        count_ = 0;
    }
    last_ = frame;
}

std::size_t GraphQuantum::quantum() const {
    if (count_ < 2) {
        return assumed_;
    }
    std::uint64_t divisor = 0;
    for (std::size_t i = 0; i < std::min(count_, kept); ++i) {
        divisor = std::gcd(divisor, steps_[i]);
    }
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(divisor, smallest_, largest_));
}

}  // namespace tapwell

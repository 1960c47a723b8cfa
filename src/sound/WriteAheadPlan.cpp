#include "sound/WriteAheadPlan.h"

#include <algorithm>

namespace tapwell {

std::uint64_t WriteAheadPlan::rewriteFrom(std::optional<std::uint64_t> playing,
                                          std::uint64_t serverFloor, std::uint64_t written) {
    if (!playing) {
        // Appending decides nothing about the frames before: the source keeps its own floor.
        return written;
    }
    const std::uint64_t from =
        std::min(std::max({*playing + margin_, serverFloor, floor_}), written);
    floor_ = std::max(floor_, from);
    return from;
}

}  // namespace tapwell

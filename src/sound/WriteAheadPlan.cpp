#include "sound/WriteAheadPlan.h"

#include <algorithm>

namespace tapwell {

std::uint64_t WriteAheadPlan::rewriteFrom(std::optional<std::uint64_t> playing,
                                          std::uint64_t serverFloor, std::uint64_t written) {
    std::uint64_t from = written;
    if (playing) {
        from = std::max({*playing + margin_, serverFloor, floor_});
    }
    from = std::min(from, written);
    floor_ = std::max(floor_, from);
    return from;
}

}  // namespace tapwell

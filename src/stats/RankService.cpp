#include "stats/RankService.h"

namespace tapwell {

int RankService::rankIndex(std::int64_t count) {
    int index = 0;
    for (std::size_t i = 1; i < thresholds.size(); ++i) {
        if (count >= thresholds[i]) {
            index = static_cast<int>(i);
        }
    }
    return index;
}

std::optional<std::int64_t> RankService::remaining(std::int64_t count) {
    const int index = rankIndex(count);
    if (index + 1 >= static_cast<int>(thresholds.size())) {
        return std::nullopt;
    }
    return thresholds[static_cast<std::size_t>(index) + 1] - count;
}

double RankService::progress(std::int64_t count) {
    const auto index = static_cast<std::size_t>(rankIndex(count));
    if (index + 1 >= thresholds.size()) {
        return 1.0;
    }
    std::int64_t numerator = count - thresholds[index];
    if (numerator < 0) {
        numerator = 0;
    }
    const std::int64_t span = thresholds[index + 1] - thresholds[index];
    return static_cast<double>(numerator) / static_cast<double>(span);
}

}  // namespace tapwell

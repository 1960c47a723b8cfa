#include "stats/DailyStats.h"

#include <cmath>
#include <utility>

namespace tapwell {

DailyStats DailyStats::empty(std::string day) {
    DailyStats stats;
    stats.date = std::move(day);
    return stats;
}

bool DailyStats::isValid() const {
    if (keystrokes < 0 || topKpm < 0 || breaks < 0) {
        return false;
    }
    if (!std::isfinite(focusSeconds) || focusSeconds < 0.0 || focusSeconds > longestFocusSeconds) {
        return false;
    }
    if (hourly.size() != hoursPerDay) {
        return false;
    }
    double sum = 0.0;
    for (const std::int64_t count : hourly) {
        if (count < 0) {
            return false;
        }
        sum += static_cast<double>(count);
    }
    return sum == static_cast<double>(keystrokes);
}

}  // namespace tapwell

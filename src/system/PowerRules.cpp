#include "system/PowerRules.h"

#include <limits>

namespace tapwell {

std::optional<std::int64_t> batteryPercent(std::optional<std::int64_t> current,
                                           std::optional<std::int64_t> maximum) {
    if (!current || !maximum || *maximum <= 0) {
        return std::nullopt;
    }
    // Capacities come from outside; a value so large that ×100 overflows is not a real battery.
    constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max() / 100;
    if (*current > limit || *current < -limit) {
        return std::nullopt;
    }
    return *current * 100 / *maximum;
}

std::vector<SystemSoundEvent> PowerRules::update(const PowerSample& sample,
                                                 std::int64_t threshold) {
    std::vector<SystemSoundEvent> events;
    if (!sample.onAC) {
        if (previous && sample.percent && *sample.percent <= threshold && !lowNotified) {
            lowNotified = true;
            events.push_back(SystemSoundEvent::batteryLow);
        }
    } else {
        lowNotified = false;
        if (previous && !previous->onAC) {
            events.push_back(SystemSoundEvent::charger);
        }
    }
    previous = sample;
    return events;
}

}  // namespace tapwell

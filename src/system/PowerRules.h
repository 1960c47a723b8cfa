#pragma once
// Power events from successive power readings: `charger` when the machine switches from battery to
// external power, `batteryLow` once per discharge when the internal battery reaches the user's
// threshold. A plain value owned by the system events monitor on the main thread; the monitor
// persists `lowNotified` so that a relaunch on battery does not warn twice.

#include <cstdint>
#include <optional>
#include <vector>

#include "preferences/AppPreferences.h"

namespace tapwell {

// One reading of the power state.
struct PowerSample {
    bool onAC = false;                    // the providing source is external power
    std::optional<std::int64_t> percent;  // internal battery charge; absent without a readable one

    bool operator==(const PowerSample&) const = default;
};

// Computes the battery charge in percent from the current and maximum capacity, truncated toward
// zero; absent when either is missing or the maximum is not positive.
std::optional<std::int64_t> batteryPercent(std::optional<std::int64_t> current,
                                           std::optional<std::int64_t> maximum);

struct PowerRules {
    std::optional<PowerSample>
        previous;              // not persisted: the first reading after launch only sets it
    bool lowNotified = false;  // persisted under lowBatteryNotifiedKey

    static constexpr const char* lowBatteryNotifiedKey = "m3.lowBatteryNotified";

    // Compares `sample` with the previous reading; returns no event or one, and remembers `sample`.
    std::vector<SystemSoundEvent> update(const PowerSample& sample, std::int64_t threshold);
};

}  // namespace tapwell

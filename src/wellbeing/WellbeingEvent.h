#pragma once
// The vocabulary of the wellbeing feature: the nudges the rules can give, the user's answers to a
// break nudge, and the status shown in the interface. Plain values, usable from any thread.

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/Clock.h"

namespace tapwell {

// The five nudges, in the order a decision pass returns them. The raw value (the case name) is
// the event's name in the wellbeing ledger.
enum class WellbeingEvent { takeBreak, edgeDim, lateNight, wrapUp, dailyLimit };

inline constexpr WellbeingEvent allWellbeingEvents[] = {
    WellbeingEvent::takeBreak, WellbeingEvent::edgeDim,    WellbeingEvent::lateNight,
    WellbeingEvent::wrapUp,    WellbeingEvent::dailyLimit,
};
const char* toString(WellbeingEvent event);
std::optional<WellbeingEvent> wellbeingEventFromString(std::string_view raw);

// The user's answer to a break nudge.
enum class BreakAction { takeFive, snooze };

const char* toString(BreakAction action);  // "takeFive", "snooze"

struct WellbeingStatus {
    // Whole minutes of the current typing stretch (floor); 0 without a stretch.
    std::int64_t elapsedMinutes = 0;
    // Minutes until the next break-related nudge (ceiling); absent when none is to be shown.
    std::optional<std::int64_t> nextMinutes;
    // The pause of all nudges, copied from the ledger.
    std::optional<Date> pausedUntil;
    // Late-night mode: typing sounds are lowered while this is true.
    bool softer = false;

    bool operator==(const WellbeingStatus&) const = default;
};

}  // namespace tapwell

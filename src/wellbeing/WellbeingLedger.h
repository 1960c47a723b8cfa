#pragma once
// The persisted memory of the wellbeing rules: events per day, when each kind was last given, the
// once-per-period markers, the user's pause and the deferral of the break nudge. A plain value,
// owned by the rules and touched only on the wellbeing queue; stored as JSON in the user defaults.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "core/Clock.h"
#include "wellbeing/WellbeingEvent.h"

namespace tapwell {

class Calendar;
class UserDefaults;

struct WellbeingLedger {
    // The user-defaults key of the stored ledger.
    static constexpr const char* defaultsKey = "m3.wellbeingLedger";
    // Days of history kept in `counts` and `once` (fixed 24-hour days before the commit date).
    static constexpr double retentionSeconds = 32.0 * 24.0 * 60.0 * 60.0;

    // Day identifier -> events of any kind committed on that day.
    std::map<std::string, std::int64_t> counts;
    // Event raw name -> when an event of that kind was last committed. Never pruned.
    std::map<std::string, Date> last;
    // "<day>/<event>" markers of events already given in a day (or, for late night, a night).
    std::set<std::string> once;
    // No nudge at all while this lies in the future.
    std::optional<Date> pausedUntil;
    // The deferred break nudge is due at or after this time.
    std::optional<Date> deferredUntil;

    bool operator==(const WellbeingLedger&) const = default;

    // Events committed on `day` so far (0 for an unknown day).
    std::int64_t count(const std::string& day) const;
    static std::string marker(std::string_view day, WellbeingEvent event);

    // Records that `event` was given at `date` on `day` (the caller's day identifier), then drops
    // the history older than 32 days before `date`; the cutoff day is taken in `calendar`.
    void commit(WellbeingEvent event, const std::string& day, Date date, const Calendar& calendar);
    // The same, with the cutoff day taken in the host's current time zone.
    void commit(WellbeingEvent event, const std::string& day, Date date);

    // Compact JSON; dates as seconds since 2001-01-01 00:00:00 UTC. No value when the ledger holds
    // text that cannot be encoded.
    std::optional<std::string> toJSON() const;
    // "counts", "last" and "once" are required and must have their types; the two optional dates
    // may be missing, null or unusable (then they are absent).
    static std::optional<WellbeingLedger> fromJSON(std::string_view json);

    // The stored ledger, or a fresh one when the value is missing or does not decode.
    static WellbeingLedger load(const UserDefaults& defaults);
    // Replaces the stored value; returns false (storing nothing) when encoding fails.
    bool save(UserDefaults& defaults) const;
};

}  // namespace tapwell

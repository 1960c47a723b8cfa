#pragma once
// A time zone given as a POSIX TZ string ("CET-1CEST,M3.5.0,M10.5.0/3", "<+0530>-5:30", "EST5"):
// what $TZ may hold, and what a zone file's footer says for the years after its last listed
// change. Transition times may run from -167 to 167 hours, as zone files of version 3 allow. A
// plain immutable value.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tapwell {

class PosixTimeZoneRule {
  public:
    // Offsets are seconds east of Greenwich (the TZ string counts west); times are seconds since
    // the Unix epoch.
    struct Transition {
        std::int64_t at = 0;
        std::int32_t offsetBefore = 0;
        std::int32_t offsetAfter = 0;
    };
    // The offset that holds from `from` (inclusive) to `to` (exclusive).
    struct Span {
        std::int32_t offset = 0;
        std::int64_t from = 0;
        std::int64_t to = 0;
    };

    // No value for anything but a whole, well-formed TZ string.
    static std::optional<PosixTimeZoneRule> parse(std::string_view text);

    bool hasDaylightSaving() const { return daylight_.has_value(); }
    std::int32_t standardOffset() const { return standardOffset_; }
    // The daylight-saving offset, or the standard one for a zone without daylight saving.
    std::int32_t daylightOffset() const { return daylight_ ? daylight_->offset : standardOffset_; }

    Span spanAt(std::int64_t utc) const;
    // The two changes of `year` in the order the rule states them (start of daylight saving,
    // then its end); their instants may lie a few days into the year before or after. Only for a
    // rule with daylight saving.
    std::array<Transition, 2> transitionsOfYear(std::int64_t year) const;

    // Years are kept within this range, far beyond any date a calendar is asked about, so that
    // no computation overflows.
    static constexpr std::int64_t maxYear = 1'000'000;

  private:
    struct RuleDay {
        enum class Kind { julianWithoutLeapDay, zeroBasedDay, monthWeekDay };
        Kind kind = Kind::monthWeekDay;
        int day = 0;    // Jn: 1-365; n: 0-365; M: weekday 0-6 (Sunday first)
        int month = 0;  // M: 1-12
        int week = 0;   // M: 1-5, 5 being the last
        std::int64_t daysSinceEpoch(std::int64_t year) const;
    };
    struct Daylight {
        std::int32_t offset = 0;
        RuleDay start;
        RuleDay end;
        std::int32_t startTime = 7200;  // local standard time
        std::int32_t endTime = 7200;    // local daylight-saving time
    };

    class Parser;

    std::int32_t standardOffset_ = 0;
    std::optional<Daylight> daylight_;
};

}  // namespace tapwell

#pragma once
// The two clocks of the program. Wall time is a `Date`: seconds (a double) since the reference
// date 2001-01-01 00:00:00 UTC. Uptime is seconds since system start-up on the monotonic clock
// (CLOCK_MONOTONIC), the clock of key time stamps, typing stretches and settle times. The two are
// never mixed. Services take a `Clock` so that tests can drive time, and run their queues on its
// scheduler, so that their timers follow the same time.

#include <compare>
#include <string>

#include "core/QueueScheduler.h"

namespace tapwell {

class Calendar;

struct Date {
    // Seconds between the Unix epoch and the reference date 2001-01-01 00:00:00 UTC.
    static constexpr double unixOfReferenceDate = 978307200.0;

    double secondsSinceReferenceDate = 0.0;

    static constexpr Date fromUnix(double unixSeconds) {
        return Date{unixSeconds - unixOfReferenceDate};
    }
    constexpr double unixSeconds() const { return secondsSinceReferenceDate + unixOfReferenceDate; }

    constexpr Date operator+(double seconds) const {
        return Date{secondsSinceReferenceDate + seconds};
    }
    constexpr Date operator-(double seconds) const {
        return Date{secondsSinceReferenceDate - seconds};
    }
    constexpr double operator-(Date other) const {
        return secondsSinceReferenceDate - other.secondsSinceReferenceDate;
    }
    constexpr auto operator<=>(const Date&) const = default;

    // ISO 8601 in UTC with milliseconds, for example "2026-12-06T09:30:00.250Z".
    std::string iso8601() const;
    // Parses ISO 8601 date-times with a "Z" or "+hh:mm" offset and optional fractional seconds,
    // and plain dates ("2026-12-06", taken as UTC midnight). Returns false on anything else.
    static bool parseIso8601(std::string_view text, Date& out);
};

class Clock {
  public:
    virtual ~Clock() = default;
    virtual Date now() const = 0;
    // Seconds since system start-up (monotonic).
    virtual double uptime() const = 0;
    // The Gregorian calendar in the current time zone, as of this moment.
    virtual Calendar calendar() const = 0;
    // The id of that calendar's zone, for holders of a calendar to see whether theirs still
    // stands; cheaper than `calendar()` where the clock can tell it without building one.
    virtual std::string timeZoneID() const;
    // Where the queues of services on this clock take their timers' time from; its time is the
    // uptime.
    virtual QueueScheduler& scheduler() const { return QueueScheduler::system(); }
};

// The real clocks of this machine.
class SystemClock final : public Clock {
  public:
    Date now() const override;
    double uptime() const override;
    Calendar calendar() const override;
    std::string timeZoneID() const override;

    static SystemClock& shared();
};

}  // namespace tapwell

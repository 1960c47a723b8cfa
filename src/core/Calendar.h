#pragma once
// The Gregorian calendar in one time zone, backed by ICU. Days, hours and minutes of the day are
// always taken in the calendar's zone. A Calendar is a value: copies are independent, and one
// instance must not be used by two threads at once (each service queue builds its own).

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <unicode/uversion.h>

#include "core/Clock.h"

namespace U_ICU_NAMESPACE {
class Calendar;
}

namespace tapwell {

class Calendar {
  public:
    // The host's current time zone ($TZ, else /etc/localtime), looked up afresh at most once a
    // second so that a change of zone is seen by the next operation.
    static Calendar current();
    // The id of the zone `current()` gives now, at a fraction of the cost of the calendar.
    static std::string currentZoneID();

    // The host zone and its calendar, detected again once `redetectAfter` seconds of uptime have
    // passed since the last detection (detection reads the system's zone file). `current()` keeps
    // one for the process on the monotonic clock.
    class HostZone {
      public:
        static constexpr double redetectAfter = 1.0;

        HostZone();
        ~HostZone();
        HostZone(const HostZone&) = delete;
        HostZone& operator=(const HostZone&) = delete;

        // The calendar of the host zone as of `uptime`. Thread-safe.
        Calendar current(double uptime);
        // The id of that calendar's zone, without building the calendar. Thread-safe.
        std::string zoneID(double uptime);

      private:
        // Detects the zone again when due; false when no calendar can be made for it (UTC then
        // stands in). Called with the lock held.
        bool refresh(double uptime);

        std::mutex mutex_;
        std::unique_ptr<U_ICU_NAMESPACE::Calendar> prototype_;
        std::string zoneID_;
        double detectedAt_ = 0.0;
    };
    // A calendar in the IANA zone `zoneID` ("Europe/Berlin", "UTC"); no value for an unknown id.
    static std::optional<Calendar> inZone(std::string_view zoneID);

    Calendar(const Calendar& other);
    Calendar& operator=(const Calendar& other);
    Calendar(Calendar&&) noexcept;
    Calendar& operator=(Calendar&&) noexcept;
    ~Calendar();

    // The zone's identity, for comparing the zones of two calendars.
    const std::string& timeZoneID() const { return zoneID_; }
    bool sameTimeZone(const Calendar& other) const { return zoneID_ == other.zoneID_; }

    struct Components {
        int year = 0;
        int month = 0;  // 1-12
        int day = 0;    // 1-31
        int hour = 0;   // 0-23
        int minute = 0;
        int second = 0;
    };
    Components components(Date date) const;

    // "%04d-%02d-%02d" of the local day of `date`.
    std::string dayID(Date date) const;
    int hour(Date date) const;
    // hour x 60 + minute, 0-1439.
    int minuteOfDay(Date date) const;
    // The first moment of the local day of `date`.
    Date startOfDay(Date date) const;
    // `date` moved by `days` calendar days, keeping the wall time (so across a daylight-saving
    // change the result is 23 or 25 hours away per day). No value when ICU cannot compute it.
    std::optional<Date> addingDays(Date date, int days) const;
    // The moment on the local day of `date` whose wall time is hour:minute:second. A wall time
    // skipped by a daylight-saving change moves forward to the next valid time; a repeated wall
    // time gives its first occurrence. No value when no such time can be formed.
    std::optional<Date> dateOnDay(Date date, int hour, int minute, int second = 0) const;
    // Local midnight of the day "yyyy-MM-dd"; no value for anything else.
    std::optional<Date> startOfDay(std::string_view dayID) const;

  private:
    Calendar(std::unique_ptr<U_ICU_NAMESPACE::Calendar> calendar, std::string zoneID);
    std::unique_ptr<U_ICU_NAMESPACE::Calendar> calendar_;  // mutated by every read (setTime)
    std::string zoneID_;
};

}  // namespace tapwell

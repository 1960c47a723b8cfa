#pragma once
// The proleptic Gregorian calendar in one time zone of the system's tz database. Days, hours and
// minutes of the day are always taken in the calendar's zone. A Calendar is a value: copies are
// independent and cheap (they share the zone's immutable rules), and one instance must not be
// used by two threads at once, as it remembers the span of its last offset lookup (each service
// queue keeps its own).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/Clock.h"

namespace tapwell {

class Calendar {
  public:
    // The zone's id and rules, shared by calendars of one zone; opaque outside the calendar.
    struct Zone;

    // The host's current time zone ($TZ, else /etc/localtime), looked up afresh at most once a
    // second so that a change of zone is seen by the next operation. UTC when neither names a
    // zone that can be read.
    static Calendar current();
    // The id of the zone `current()` gives now, at a fraction of the cost of the calendar.
    static std::string currentZoneID();

    // The host zone and its calendar, detected again once `redetectAfter` seconds of uptime have
    // passed since the last detection (detection reads the system's zone file). `current()` keeps
    // one for the process on the monotonic clock.
    //
    // $TZ may be an id (":Europe/Berlin" or "Europe/Berlin"), the path of a zone file, or a POSIX
    // TZ string ("CET-1CEST,M3.5.0,M10.5.0/3", which is also its id); an empty $TZ is UTC.
    // Without $TZ the zone is the file `localtime`: its id is where its links lead, or for a copy
    // the id of the database's file with the same contents.
    class HostZone {
      public:
        static constexpr double redetectAfter = 1.0;

        explicit HostZone(std::filesystem::path localtime = "/etc/localtime");
        ~HostZone();
        HostZone(const HostZone&) = delete;
        HostZone& operator=(const HostZone&) = delete;

        // The calendar of the host zone as of `uptime`. Thread-safe.
        Calendar current(double uptime);
        // The id of that calendar's zone, without building the calendar. Thread-safe.
        std::string zoneID(double uptime);

      private:
        struct Detected;
        // Detects the zone again when due; UTC stands in for a zone that cannot be read. Called
        // with the lock held.
        void refresh(double uptime);
        Detected detect();
        Detected detectFile(const std::filesystem::path& path);

        std::mutex mutex_;
        const std::filesystem::path localtime_;
        std::shared_ptr<const Zone> zone_;
        std::string detectedID_;  // what detection named, which a failed load may not have given
        double detectedAt_ = 0.0;
        // A copied zone file's id costs a search of the database; it is kept for these bytes.
        std::string copyBytes_;
        std::string copyID_;
    };
    // A calendar in the IANA zone `zoneID` ("Europe/Berlin", "UTC"); no value for an unknown id.
    static std::optional<Calendar> inZone(std::string_view zoneID);

    Calendar(const Calendar& other);
    Calendar& operator=(const Calendar& other);
    Calendar(Calendar&&) noexcept;
    Calendar& operator=(Calendar&&) noexcept;
    ~Calendar();

    // The zone's identity, for comparing the zones of two calendars.
    const std::string& timeZoneID() const { return *zoneID_; }
    bool sameTimeZone(const Calendar& other) const { return *zoneID_ == *other.zoneID_; }

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
    // change the result is 23 or 25 hours away per day); a wall time that falls into a skipped
    // hour moves forward to the next valid time. No value beyond some two million years.
    std::optional<Date> addingDays(Date date, int days) const;
    // The moment on the local day of `date` whose wall time is hour:minute:second. A wall time
    // skipped by a daylight-saving change moves forward to the next valid time; a repeated wall
    // time gives its first occurrence. No value when no such time can be formed.
    std::optional<Date> dateOnDay(Date date, int hour, int minute, int second = 0) const;
    // Local midnight of the day "yyyy-MM-dd"; no value for anything else.
    std::optional<Date> startOfDay(std::string_view dayID) const;

  private:
    explicit Calendar(std::shared_ptr<const Zone> zone);
    // The offset from UTC in seconds at `utc` (Unix seconds), from the remembered span when it
    // holds `utc`.
    std::int32_t offsetAt(std::int64_t utc) const;

    std::shared_ptr<const Zone> zone_;
    // The id within `zone_`, which keys compare on every count; inline, as it was when the id
    // was a member of its own.
    const std::string* zoneID_ = nullptr;
    mutable std::int64_t spanFrom_ = 0;
    mutable std::int64_t spanTo_ = 0;  // empty until the first lookup
    mutable std::int32_t spanOffset_ = 0;
};

}  // namespace tapwell

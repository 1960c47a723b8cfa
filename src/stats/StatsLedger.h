#pragma once
// The in-memory heart of the statistics: turns key-down moments into per-day records and answers
// with a snapshot of the current day. A plain value: no clocks, files, threads or locks. Every
// operation gets the wall-clock moment, the same moment on the uptime clock and the calendar of
// the current time zone from its caller. The statistics store owns one ledger and touches it only
// on its own queue.

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "core/Calendar.h"
#include "core/Clock.h"
#include "stats/DailyStats.h"
#include "stats/LocalDayCache.h"

namespace tapwell {

struct StatsLedger {
    static constexpr double kpmWindow = 5.0;
    static constexpr std::int64_t kpmMultiplier = 12;  // 60 s / 5 s
    static constexpr double longestFocusGap = 120.0;
    static constexpr double clockAgreement = 1.0;
    static constexpr double pauseLength = 300.0;
    static constexpr double breakStreak = 1200.0;

    struct KeyMoment {
        Date date;
        double uptime = 0.0;
        bool operator==(const KeyMoment&) const = default;
    };

    std::map<std::string, DailyStats> days;
    std::set<std::string> dirty;
    // Uptimes of the key-downs of the last 5 s, oldest first. Always ascending: a key with an
    // earlier uptime than the previous one resets the ledger first, so pruning only ever trims
    // the two ends, which keeps a flood of synthetic key events cheap.
    std::deque<double> recent;
    std::optional<KeyMoment> lastKey;
    double streak = 0.0;
    std::optional<std::string> currentDay;
    std::optional<std::string> zone;
    // The day and hour of the last key, so that the keys after it skip the calendar.
    LocalDayCache calendarCache;

    static std::string dayID(Date date, const Calendar& calendar);
    // The same through the cache of the last key's day.
    const std::string& dayOf(Date date, const Calendar& calendar) {
        return calendarCache.at(date, calendar).dayID;
    }

    // Counts one key-down at (date, uptime) and returns the snapshot of its day.
    StatsSnapshot record(Date date, double uptime, const Calendar& calendar);
    // The same without building a snapshot: returns the record of the key's day.
    const DailyStats& count(Date date, double uptime, const Calendar& calendar);
    // Runs the same preparation as `record` (pruning, day change, break detection) without
    // counting a key, and returns the snapshot of the day of `date`.
    StatsSnapshot snapshot(Date date, double uptime, const Calendar& calendar);

    // Ends the current run of typing without counting a break (sleep, wake, quit).
    void resetStreak();
    // Key-downs of the last 5 s times 12, as pruned by the last record or snapshot.
    std::int64_t currentKpm() const;

  private:
    // The preparation shared by record and snapshot; `id` is the day identifier of `date`.
    void prepare(const std::string& id, double uptime, const Calendar& calendar);
    DailyStats& touch(const std::string& day);
    void addFocus(Date from, Date to, const Calendar& calendar);
};

}  // namespace tapwell

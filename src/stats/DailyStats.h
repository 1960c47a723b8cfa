#pragma once
// One day's typing record and the snapshot the ledger hands back after every operation. Only
// counts and times: no key identity is ever part of a record.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tapwell {

struct DailyStats {
    static constexpr std::size_t hoursPerDay = 24;
    // More focused time than one day can hold even with its clock set back again and again: a
    // record beyond it is damaged, and the ledger stops adding there.
    static constexpr double longestFocusSeconds = 7 * 24 * 3600.0;

    std::string date;  // day identifier "%04d-%02d-%02d"; names the record's file
    std::int64_t keystrokes = 0;
    std::int64_t topKpm = 0;
    double focusSeconds = 0.0;
    std::int64_t breaks = 0;
    std::vector<std::int64_t> hourly = std::vector<std::int64_t>(hoursPerDay, 0);

    static DailyStats empty(std::string day);

    // Records read from disk or gathered for export must pass this before they are used. Besides
    // signs and sums it refuses a focus time beyond `longestFocusSeconds`, which no view could
    // show as a time of day. The
    // hourly sum is accumulated as doubles on purpose: stored files were checked that way, and
    // changing the arithmetic could turn an accepted file into a rejected one.
    bool isValid() const;

    bool operator==(const DailyStats&) const = default;
};

struct StatsSnapshot {
    DailyStats today;
    std::int64_t kpm = 0;  // key-downs of the last 5 seconds times 12

    bool operator==(const StatsSnapshot&) const = default;
};

}  // namespace tapwell

// The calendar against ICU's Gregorian calendar, configured as this program's calendar once was
// (purely Gregorian, skipped wall times to the next valid time, repeated ones to the first), in
// zones with the awkward cases: half-hour daylight saving, offsets of odd minutes, negative
// daylight saving, a skipped day, abolished daylight saving, and years past the last listed
// change, where a zone file's footer rule takes over.

#include <gtest/gtest.h>

#include <unicode/basictz.h>
#include <unicode/gregocal.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/Calendar.h"

namespace tapwell {
namespace {

class IcuCalendar {
  public:
    explicit IcuCalendar(const char* zoneID) {
        UErrorCode status = U_ZERO_ERROR;
        calendar_ = std::make_unique<icu::GregorianCalendar>(icu::TimeZone::createTimeZone(zoneID),
                                                             icu::Locale::getRoot(), status);
        calendar_->setGregorianChange(-std::numeric_limits<double>::max(), status);
        calendar_->setSkippedWallTimeOption(UCAL_WALLTIME_NEXT_VALID);
        calendar_->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
    }

    Calendar::Components components(Date date) {
        UErrorCode status = U_ZERO_ERROR;
        calendar_->setTime(date.unixSeconds() * 1000.0, status);
        return Calendar::Components{
            calendar_->get(UCAL_EXTENDED_YEAR, status), calendar_->get(UCAL_MONTH, status) + 1,
            calendar_->get(UCAL_DATE, status),          calendar_->get(UCAL_HOUR_OF_DAY, status),
            calendar_->get(UCAL_MINUTE, status),        calendar_->get(UCAL_SECOND, status)};
    }

    Date addingDays(Date date, int days) {
        UErrorCode status = U_ZERO_ERROR;
        calendar_->setTime(date.unixSeconds() * 1000.0, status);
        calendar_->add(UCAL_DATE, days, status);
        return Date::fromUnix(calendar_->getTime(status) / 1000.0);
    }

    Date dateOnDay(Date date, int hour, int minute, int second) {
        const Calendar::Components day = components(date);
        calendar_->clear();
        calendar_->set(UCAL_EXTENDED_YEAR, day.year);
        calendar_->set(UCAL_MONTH, day.month - 1);
        calendar_->set(UCAL_DATE, day.day);
        calendar_->set(UCAL_HOUR_OF_DAY, hour);
        calendar_->set(UCAL_MINUTE, minute);
        calendar_->set(UCAL_SECOND, second);
        calendar_->set(UCAL_MILLISECOND, 0);
        UErrorCode status = U_ZERO_ERROR;
        return Date::fromUnix(calendar_->getTime(status) / 1000.0);
    }

    // Every change of offset from 1970 to 2040.
    std::vector<std::int64_t> transitions() const {
        std::vector<std::int64_t> result;
        const auto* zone = dynamic_cast<const icu::BasicTimeZone*>(&calendar_->getTimeZone());
        icu::TimeZoneTransition transition;
        double from = 0.0;
        while (zone->getNextTransition(from, false, transition) &&
               transition.getTime() < 2209017600000.0) {
            from = transition.getTime();
            result.push_back(static_cast<std::int64_t>(from / 1000.0));
        }
        return result;
    }

  private:
    std::unique_ptr<icu::GregorianCalendar> calendar_;
};

std::string text(const Calendar::Components& c) {
    std::ostringstream out;
    out << c.year << '-' << c.month << '-' << c.day << ' ' << c.hour << ':' << c.minute << ':'
        << c.second;
    return out.str();
}

struct DataGap {
    std::int64_t from = 0;
    std::int64_t to = 0;
};

// ICU carries the tz data of 2022; where a zone's data changed since, moments (and answers) in
// the changed stretch, with two days either side, are not compared.
struct Oracle {
    const char* zone;
    std::vector<DataGap> gaps;

    bool inGap(Date date) const {
        const double unix = date.unixSeconds();
        for (const DataGap& gap : gaps) {
            if (unix >= static_cast<double>(gap.from - 2 * 86400) &&
                unix < static_cast<double>(gap.to + 2 * 86400)) {
                return true;
            }
        }
        return false;
    }
};

TEST(CalendarMatchesIcu, AcrossTheChangesOfAwkwardZones) {
    const Oracle oracles[] = {
        {"Europe/Berlin", {}},
        {"America/New_York", {}},
        {"Australia/Lord_Howe", {}},
        {"Asia/Kolkata", {}},
        {"Pacific/Chatham", {}},
        {"America/St_Johns", {}},
        // Iran's change to +0330 in 1978 was dated again; Morocco's predicted Ramadan changes
        // moved.
        {"Asia/Tehran", {{279576000, 283982400}}},
        {"Africa/Casablanca",
         {{1682215200, 1682820000}, {1927159200, 1927764000}, {2172103200, 2172708000}}},
        {"Pacific/Apia", {}},
        {"Europe/Dublin", {}},
        {"America/Sao_Paulo", {}},
        {"UTC", {}},
    };
    const int dayMoves[] = {1, -1, 2, -7, 31, 366};
    // Midnight and the small hours, where changes happen, and a wall time in every quarter hour
    // around each moment below.
    const int fixedWallTimes[][3] = {{0, 0, 0},  {0, 30, 0}, {1, 59, 59}, {2, 0, 0},
                                     {2, 30, 0}, {3, 0, 0},  {12, 0, 0},  {23, 59, 59}};
    for (const Oracle& oracle : oracles) {
        SCOPED_TRACE(oracle.zone);
        const auto ours = Calendar::inZone(oracle.zone);
        ASSERT_TRUE(ours);
        IcuCalendar theirs(oracle.zone);

        std::vector<Date> moments;
        for (const std::int64_t change : theirs.transitions()) {
            for (const int delta : {-1, 0, 1}) {
                moments.push_back(Date::fromUnix(static_cast<double>(change + delta)));
            }
        }
        // A fixed pseudo-random spread over the years, with fractions ICU's milliseconds hold
        // exactly.
        std::uint64_t state = 0x9E3779B97F4A7C15u;
        for (int i = 0; i < 400; ++i) {
            state = state * 6364136223846793005u + 1442695040888963407u;
            const auto seconds = static_cast<std::int64_t>((state >> 11) % 2209017600u);
            moments.push_back(Date::fromUnix(static_cast<double>(seconds) +
                                             static_cast<double>(state & 7) / 8.0));
        }

        int compared = 0;
        std::vector<std::string> mismatches;
        auto check = [&](Date expected, bool same, const std::string& what) {
            if (oracle.inGap(expected)) {
                return;
            }
            ++compared;
            if (!same && mismatches.size() < 12) {
                mismatches.push_back(what);
            }
        };
        for (const Date moment : moments) {
            if (oracle.inGap(moment)) {
                continue;
            }
            const std::string at = moment.iso8601();
            const Calendar::Components mine = ours->components(moment);
            const Calendar::Components icu = theirs.components(moment);
            check(moment, text(mine) == text(icu),
                  "components " + at + ": " + text(mine) + " vs " + text(icu));
            const Date midnight = theirs.dateOnDay(moment, 0, 0, 0);
            check(midnight, ours->startOfDay(moment) == midnight,
                  "startOfDay " + at + ": " + ours->startOfDay(moment).iso8601());
            for (const int days : dayMoves) {
                const auto moved = ours->addingDays(moment, days);
                const Date expected = theirs.addingDays(moment, days);
                check(expected, moved && *moved == expected,
                      "addingDays " + at + " " + std::to_string(days) + ": " +
                          (moved ? moved->iso8601() : "none") + " vs " + expected.iso8601());
            }
            std::vector<std::array<int, 3>> wallTimes;
            for (const auto& wall : fixedWallTimes) {
                wallTimes.push_back({wall[0], wall[1], wall[2]});
            }
            for (int quarter = -4; quarter <= 4; ++quarter) {
                const Calendar::Components near = ours->components(moment + quarter * 900.0);
                wallTimes.push_back({near.hour, near.minute, near.second});
            }
            for (const auto& [hour, minute, second] : wallTimes) {
                const auto mineOnDay = ours->dateOnDay(moment, hour, minute, second);
                const Date expected = theirs.dateOnDay(moment, hour, minute, second);
                check(expected, mineOnDay && *mineOnDay == expected,
                      "dateOnDay " + at + " " + std::to_string(hour) + ":" +
                          std::to_string(minute) + ":" + std::to_string(second) + ": " +
                          (mineOnDay ? mineOnDay->iso8601() : "none") + " vs " +
                          expected.iso8601());
            }
            check(midnight, ours->startOfDay(ours->dayID(moment)) == midnight,
                  "startOfDay(dayID) " + at);
        }
        EXPECT_GT(compared, 10000);
        for (const std::string& mismatch : mismatches) {
            ADD_FAILURE() << mismatch;
        }
    }
}

}  // namespace
}  // namespace tapwell

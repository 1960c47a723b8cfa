#pragma once
// A date of the proleptic Gregorian calendar (astronomical years: year 0 is 1 BC) and its count
// of days from 1970-01-01. The conversions work in 400-year eras, which repeat exactly (146097
// days), so they hold for every year an int can carry without tables or loops.

#include <cstdint>

namespace tapwell {

struct CivilDate {
    std::int64_t year = 1970;
    int month = 1;  // 1-12
    int day = 1;    // 1-31

    static constexpr bool isLeapYear(std::int64_t year) {
        return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    }

    static constexpr int daysInMonth(std::int64_t year, int month) {
        constexpr int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        return month == 2 && isLeapYear(year) ? 29 : lengths[month - 1];
    }

    constexpr bool isValid() const {
        return month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(year, month);
    }

    // Days since 1970-01-01 (negative before it). Months and days outside their range are not
    // checked here; `isValid()` is the caller's to ask.
    constexpr std::int64_t daysSinceEpoch() const {
        // Counted in years that start on 1 March, so that the leap day ends the year.
        const std::int64_t y = month <= 2 ? year - 1 : year;
        const std::int64_t era = floorDiv(y, 400);
        const std::int64_t yearOfEra = y - era * 400;                           // 0-399
        const std::int64_t monthFromMarch = month > 2 ? month - 3 : month + 9;  // 0-11
        // 153 days per 5 months (31 30 31 30 31) gives the day of the year of each month's first.
        const std::int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + day - 1;
        const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
        return era * daysPerEra + dayOfEra - epochFromMarchZero;
    }

    static constexpr CivilDate fromDaysSinceEpoch(std::int64_t days) {
        const std::int64_t shifted = days + epochFromMarchZero;
        const std::int64_t era = floorDiv(shifted, daysPerEra);
        const std::int64_t dayOfEra = shifted - era * daysPerEra;  // 0-146096
        // Every fourth year is a leap year but the hundredths, save the last day of the era.
        const std::int64_t yearOfEra =
            (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
        const std::int64_t dayOfYear =
            dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
        const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
        CivilDate date;
        date.day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
        date.month =
            static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
        date.year = era * 400 + yearOfEra + (date.month <= 2 ? 1 : 0);
        return date;
    }

    // 0 = Sunday ... 6 = Saturday; 1970-01-01 was a Thursday.
    static constexpr int weekdayOfDaysSinceEpoch(std::int64_t days) {
        return static_cast<int>(floorMod(days + 4, 7));
    }

    static constexpr std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
        return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
    }
    static constexpr std::int64_t floorMod(std::int64_t a, std::int64_t b) {
        return a - floorDiv(a, b) * b;
    }

    friend constexpr bool operator==(const CivilDate&, const CivilDate&) = default;

  private:
    static constexpr std::int64_t daysPerEra = 146097;
    // Days from 0000-03-01 to 1970-01-01.
    static constexpr std::int64_t epochFromMarchZero = 719468;
};

}  // namespace tapwell

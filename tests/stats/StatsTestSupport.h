#pragma once
// Dates and calendars for the statistics tests: wall times are given as local times in a zone.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/Calendar.h"
#include "core/Clock.h"

namespace tapwell::test {

inline Calendar zone(std::string_view id) {
    auto calendar = Calendar::inZone(id);
    if (!calendar) {
        ADD_FAILURE() << "unknown zone " << id;
        return *Calendar::inZone("UTC");
    }
    return *calendar;
}

// The moment of local wall time `hour:minute:second` on `day` ("yyyy-MM-dd") in the calendar's
// zone. For times a daylight-saving change repeats, the first occurrence.
inline Date localTime(const Calendar& calendar, std::string_view day, int hour, int minute,
                      int second = 0) {
    auto midnight = calendar.startOfDay(day);
    EXPECT_TRUE(midnight.has_value()) << day;
    auto moment = calendar.dateOnDay(midnight.value_or(Date{}), hour, minute, second);
    EXPECT_TRUE(moment.has_value());
    return moment.value_or(Date{});
}

}  // namespace tapwell::test

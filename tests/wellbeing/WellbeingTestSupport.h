#pragma once
// Calendars and local wall times for the wellbeing tests.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <string_view>

#include "core/Calendar.h"
#include "core/Clock.h"

namespace tapwell::test {

inline Calendar zone(std::string_view id) {
    auto calendar = Calendar::inZone(id);
    if (!calendar) {
        throw std::invalid_argument("unknown zone " + std::string(id));
    }
    return *calendar;
}

// The first moment with wall time hour:minute:second on the local day "yyyy-MM-dd".
inline Date local(const Calendar& calendar, std::string_view day, int hour, int minute,
                  int second = 0) {
    auto midnight = calendar.startOfDay(day);
    if (!midnight) {
        throw std::invalid_argument("bad day " + std::string(day));
    }
    auto date = calendar.dateOnDay(*midnight, hour, minute, second);
    if (!date) {
        throw std::invalid_argument("no such wall time");
    }
    return *date;
}

}  // namespace tapwell::test

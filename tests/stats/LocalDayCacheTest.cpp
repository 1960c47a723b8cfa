#include "stats/LocalDayCache.h"

#include <gtest/gtest.h>

#include "StatsTestSupport.h"

namespace tapwell {
namespace {

using test::localTime;
using test::zone;

// The cache must answer exactly what the calendar answers, moment by moment: across midnight, the
// hour edges, daylight-saving nights (whole-hour and half-hour changes), an offset change that
// falls inside an hour, a zone with a half-hour offset, a clock set back, and a change of zone.
TEST(LocalDayCache, AnswersWhatTheCalendarAnswersAcrossEveryEdge) {
    struct Sweep {
        const char* zone;
        const char* day;
        int hour;
        int minute;
        double step;  // seconds between moments; negative: the clock goes back
        int count;
    };
    const Sweep sweeps[] = {
        {"UTC", "2024-03-05", 23, 58, 7.25, 60},                  // midnight
        {"Europe/Berlin", "2024-03-31", 1, 55, 13.0, 60},         // 02:00 never happens
        {"Europe/Berlin", "2024-10-27", 1, 50, 29.0, 300},        // 02:00-03:00 twice
        {"America/New_York", "2024-11-03", 23, 59, 1.0, 120},     // the end of a 25-hour day
        {"Australia/Lord_Howe", "2024-04-07", 1, 20, 31.0, 200},  // half an hour back
        {"Australia/Lord_Howe", "2024-10-06", 1, 50, 17.0, 400},  // half an hour forward
        {"Asia/Kolkata", "2024-03-05", 0, 25, 59.5, 80},          // hours start at :30 UTC
        {"America/St_Johns", "2008-03-08", 23, 58, 11.0, 400},    // at 00:01, inside an hour
        {"Europe/Berlin", "2024-10-27", 3, 10, -37.0, 200},       // back across the night
        {"UTC", "2024-03-06", 0, 1, -3700.0, 30},                 // back by more than an hour
    };
    for (const Sweep& sweep : sweeps) {
        const Calendar calendar = zone(sweep.zone);
        LocalDayCache cache;
        Date moment = localTime(calendar, sweep.day, sweep.hour, sweep.minute);
        for (int i = 0; i < sweep.count; ++i, moment = moment + sweep.step) {
            const LocalDayCache::Span& span = cache.at(moment, calendar);
            ASSERT_EQ(span.dayID, calendar.dayID(moment)) << sweep.zone << " " << moment.iso8601();
            ASSERT_EQ(span.hour, calendar.hour(moment)) << sweep.zone << " " << moment.iso8601();
            ASSERT_TRUE(span.holds(moment)) << moment.iso8601();
            EXPECT_EQ(span.dayStart, calendar.startOfDay(moment)) << moment.iso8601();
        }
    }

    // The same moment in another zone's calendar is answered in that zone.
    LocalDayCache cache;
    const Date noon = localTime(zone("UTC"), "2024-03-05", 23, 30);
    EXPECT_EQ(cache.at(noon, zone("UTC")).dayID, "2024-03-05");
    EXPECT_EQ(cache.at(noon, zone("Asia/Tokyo")).dayID, "2024-03-06");
    EXPECT_EQ(cache.at(noon, zone("Asia/Tokyo")).hour, 8);
    EXPECT_FALSE(cache.sameDay(noon, zone("UTC")));
}

}  // namespace
}  // namespace tapwell

#include "stats/StatsLedger.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "StatsTestSupport.h"

namespace tapwell {
namespace {

using test::localTime;
using test::zone;

// Drives one ledger with a wall clock and an uptime clock that move together unless a test
// separates them.
struct Typist {
    StatsLedger ledger;
    Calendar calendar = zone("UTC");
    Date now;
    double uptime = 5000.0;

    StatsSnapshot key() { return ledger.record(now, uptime, calendar); }
    StatsSnapshot look() { return ledger.snapshot(now, uptime, calendar); }
    void wait(double seconds) {
        now = now + seconds;
        uptime += seconds;
    }
    const DailyStats& day(const std::string& id) { return ledger.days.at(id); }
};

TEST(DailyStats, EmptyRecordIsValid) {
    const DailyStats empty = DailyStats::empty("2024-03-05");
    EXPECT_EQ(empty.date, "2024-03-05");
    EXPECT_EQ(empty.hourly.size(), 24u);
    EXPECT_TRUE(empty.isValid());
}

TEST(DailyStats, ValidityRejectsBrokenRecords) {
    DailyStats stats = DailyStats::empty("2024-03-05");
    stats.keystrokes = 11;
    stats.hourly[3] = 10;
    EXPECT_FALSE(stats.isValid()) << "hourly sum differs from keystrokes";
    stats.hourly[4] = 1;
    EXPECT_TRUE(stats.isValid());

    DailyStats short23 = stats;
    short23.hourly.pop_back();
    EXPECT_FALSE(short23.isValid());

    DailyStats nanFocus = stats;
    nanFocus.focusSeconds = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(nanFocus.isValid());
    nanFocus.focusSeconds = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(nanFocus.isValid());
    nanFocus.focusSeconds = -0.0;
    EXPECT_TRUE(nanFocus.isValid()) << "negative zero is allowed";
    nanFocus.focusSeconds = -0.5;
    EXPECT_FALSE(nanFocus.isValid());
    nanFocus.focusSeconds = DailyStats::longestFocusSeconds;
    EXPECT_TRUE(nanFocus.isValid());
    nanFocus.focusSeconds = 1e300;  // was shown as "Focus time: -8s"
    EXPECT_FALSE(nanFocus.isValid());

    DailyStats negative = DailyStats::empty("2024-03-05");
    negative.breaks = -1;
    EXPECT_FALSE(negative.isValid());
    negative = DailyStats::empty("2024-03-05");
    negative.topKpm = -12;
    EXPECT_FALSE(negative.isValid());
    negative = DailyStats::empty("2024-03-05");
    negative.hourly[0] = -1;
    negative.hourly[1] = 1;
    EXPECT_FALSE(negative.isValid()) << "a negative hour is invalid even when the sum matches";
}

TEST(DailyStats, HourlySumIsComparedAsDoubles) {
    // 2^53 + 1 is not representable as a double: the sum of the hours rounds onto 2^53, and so
    // does the keystroke count, so the record passes although the integers differ by one.
    DailyStats stats = DailyStats::empty("2024-03-05");
    stats.hourly[0] = std::int64_t{1} << 53;
    stats.hourly[1] = 1;
    stats.keystrokes = (std::int64_t{1} << 53);
    EXPECT_TRUE(stats.isValid());
    stats.keystrokes = (std::int64_t{1} << 53) + 2;
    EXPECT_FALSE(stats.isValid());
}

TEST(StatsLedger, DayIdentifierIsPaddedLocalDate) {
    const Calendar tokyo = zone("Asia/Tokyo");
    const Calendar utc = zone("UTC");
    const Date moment = localTime(utc, "2024-03-04", 20, 0);  // 05:00 next day in Tokyo
    EXPECT_EQ(StatsLedger::dayID(moment, utc), "2024-03-04");
    EXPECT_EQ(StatsLedger::dayID(moment, tokyo), "2024-03-05");
    EXPECT_EQ(StatsLedger::dayID(localTime(utc, "0987-01-02", 0, 0), utc), "0987-01-02");
}

TEST(StatsLedger, FirstKeyCreatesTodayAndMarksItDirty) {
    Typist t;
    t.now = localTime(t.calendar, "2024-03-05", 9, 15);
    const StatsSnapshot snapshot = t.key();
    EXPECT_EQ(snapshot.today.date, "2024-03-05");
    EXPECT_EQ(snapshot.today.keystrokes, 1);
    EXPECT_EQ(snapshot.today.hourly[9], 1);
    EXPECT_EQ(snapshot.today.focusSeconds, 0.0);
    EXPECT_EQ(snapshot.kpm, 12);
    EXPECT_EQ(snapshot.today.topKpm, 12);
    EXPECT_TRUE(t.ledger.dirty.contains("2024-03-05"));
    EXPECT_TRUE(snapshot.today.isValid());
}

TEST(StatsLedger, KeysPerMinuteIsFiveSecondWindowTimesTwelve) {
    Typist t;
    t.now = localTime(t.calendar, "2024-03-05", 10, 0);
    StatsSnapshot snapshot;
    for (int i = 0; i < 5; ++i) {
        snapshot = t.key();
        t.wait(0.2);
    }
    EXPECT_EQ(snapshot.kpm, 60);
    EXPECT_EQ(snapshot.today.topKpm, 60);

    // The last key was 0.2 s ago; 4.8 s later it is exactly 5 s old and leaves the window.
    t.wait(4.7);
    EXPECT_EQ(t.look().kpm, 12);
    t.wait(0.1);
    const StatsSnapshot quiet = t.look();
    EXPECT_EQ(quiet.kpm, 0);
    EXPECT_EQ(quiet.today.topKpm, 60);
    EXPECT_EQ(quiet.today.keystrokes, 5);
}

TEST(StatsLedger, WindowSlidesKeyByKey) {
    Typist t;
    t.now = localTime(t.calendar, "2024-03-05", 10, 0);
    for (int i = 0; i < 1000; ++i) {  // 1000 keys in one second
        t.key();
        t.wait(0.001);
    }
    EXPECT_EQ(t.look().kpm, 12000);
    t.wait(4.0 + 0.5);  // the first half second of keys is now 5 s old or older
    EXPECT_NEAR(static_cast<double>(t.look().kpm), 6000.0, 12.0 * 2);
    t.wait(0.5);
    EXPECT_EQ(t.look().kpm, 0);
    EXPECT_EQ(t.look().today.topKpm, 12000);
}

TEST(StatsLedger, TopSpeedOnlyRisesWithKeys) {
    Typist t;
    t.now = localTime(t.calendar, "2024-03-05", 10, 0);
    t.key();
    t.wait(0.1);
    t.key();
    t.wait(10);
    const StatsSnapshot slow = t.key();
    EXPECT_EQ(slow.kpm, 12);
    EXPECT_EQ(slow.today.topKpm, 24);
}

TEST(StatsLedger, FocusCountsGapsUpToTwoMinutes) {
    Typist t;
    t.now = localTime(t.calendar, "2024-03-05", 10, 0);
    t.key();
    t.wait(120.0);
    EXPECT_DOUBLE_EQ(t.key().today.focusSeconds, 120.0);
    EXPECT_DOUBLE_EQ(t.ledger.streak, 120.0);
    t.wait(120.5);
    EXPECT_DOUBLE_EQ(t.key().today.focusSeconds, 120.0);
    EXPECT_EQ(t.ledger.streak, 0.0);
    ASSERT_TRUE(t.ledger.lastKey.has_value()) << "a long gap keeps the key for the next interval";
    t.wait(3.0);
    EXPECT_DOUBLE_EQ(t.key().today.focusSeconds, 123.0);
}

TEST(StatsLedger, ClocksMustAgreeWithinOneSecond) {
    Typist t;
    t.now = localTime(t.calendar, "2024-03-05", 10, 0);
    t.key();
    // The wall clock jumped 1 s further than the uptime clock.
    t.now = t.now + 11.0;
    t.uptime += 10.0;
    EXPECT_EQ(t.key().today.focusSeconds, 0.0);
    EXPECT_EQ(t.ledger.streak, 0.0);
    // 0.9 s of disagreement is tolerated; the focus follows the wall clock, the streak the uptime.
    t.now = t.now + 10.9;
    t.uptime += 10.0;
    EXPECT_NEAR(t.key().today.focusSeconds, 10.9, 1e-6);
    EXPECT_DOUBLE_EQ(t.ledger.streak, 10.0);
    // The wall clock set back.
    t.now = t.now - 30.0;
    t.uptime += 5.0;
    EXPECT_NEAR(t.key().today.focusSeconds, 10.9, 1e-6);
    EXPECT_EQ(t.ledger.streak, 0.0);
}

TEST(StatsLedger, SplitsFocusAtLocalMidnight) {
    Typist t;
    t.calendar = zone("Europe/Paris");
    t.now = localTime(t.calendar, "2024-03-05", 23, 59, 30);
    t.key();
    t.wait(28.0);  // 23:59:58
    t.key();
    t.ledger.dirty.clear();
    t.wait(3.0);  // 00:00:01, still inside the 5 s window of the previous key
    const StatsSnapshot snapshot = t.key();
    EXPECT_EQ(snapshot.today.date, "2024-03-06");
    EXPECT_DOUBLE_EQ(snapshot.today.focusSeconds, 1.0);
    EXPECT_DOUBLE_EQ(t.day("2024-03-05").focusSeconds, 30.0);
    EXPECT_EQ(snapshot.kpm, 12) << "the window empties at the day change";
    EXPECT_EQ(snapshot.today.hourly[0], 1);
    EXPECT_EQ(snapshot.today.keystrokes, 1);
    EXPECT_TRUE(t.ledger.dirty.contains("2024-03-05"));
    EXPECT_TRUE(t.ledger.dirty.contains("2024-03-06"));
    EXPECT_DOUBLE_EQ(t.ledger.streak, 31.0);
}

TEST(StatsLedger, SplitsAtMidnightAfterShortDaylightSavingDay) {
    // 2024-03-31 in Berlin has 23 hours; the next midnight is 23 h after the day's start.
    Typist t;
    t.calendar = zone("Europe/Berlin");
    t.now = localTime(t.calendar, "2024-03-31", 23, 59, 30);
    t.key();
    t.wait(40.0);
    const StatsSnapshot snapshot = t.key();
    EXPECT_EQ(snapshot.today.date, "2024-04-01");
    EXPECT_DOUBLE_EQ(snapshot.today.focusSeconds, 10.0);
    EXPECT_DOUBLE_EQ(t.day("2024-03-31").focusSeconds, 30.0);
}

TEST(StatsLedger, SplitsAtMidnightAfterLongDaylightSavingDay) {
    // 2024-11-03 in New York has 25 hours.
    Typist t;
    t.calendar = zone("America/New_York");
    t.now = localTime(t.calendar, "2024-11-03", 23, 59, 50);
    t.key();
    t.wait(15.0);
    const StatsSnapshot snapshot = t.key();
    EXPECT_EQ(snapshot.today.date, "2024-11-04");
    EXPECT_DOUBLE_EQ(snapshot.today.focusSeconds, 5.0);
    EXPECT_DOUBLE_EQ(t.day("2024-11-03").focusSeconds, 10.0);
}

TEST(StatsLedger, HoursFollowTheDaylightSavingNight) {
    Typist t;
    t.calendar = zone("Europe/Berlin");
    // 01:59:50 CET, then 20 s later it is 03:00:10 CEST: the hour 2 never happens.
    t.now = localTime(t.calendar, "2024-03-31", 1, 59, 50);
    t.key();
    t.wait(20.0);
    const StatsSnapshot snapshot = t.key();
    EXPECT_EQ(snapshot.today.hourly[1], 1);
    EXPECT_EQ(snapshot.today.hourly[2], 0);
    EXPECT_EQ(snapshot.today.hourly[3], 1);
    EXPECT_DOUBLE_EQ(snapshot.today.focusSeconds, 20.0) << "the wall interval is 20 s, not 1 h";
}

TEST(StatsLedger, CountsBreakWhenPauseReachesFiveMinutes) {
    Typist t;
    t.now = localTime(t.calendar, "2024-03-05", 14, 0);
    for (int i = 0; i <= 20; ++i) {  // 20 minutes of keys a minute apart
        t.key();
        if (i < 20) {
            t.wait(60.0);
        }
    }
    EXPECT_DOUBLE_EQ(t.ledger.streak, 1200.0);
    t.wait(299.0);
    EXPECT_EQ(t.look().today.breaks, 0);
    ASSERT_TRUE(t.ledger.lastKey.has_value());
    t.wait(1.0);
    EXPECT_EQ(t.look().today.breaks, 1);
    EXPECT_FALSE(t.ledger.lastKey.has_value());
    EXPECT_EQ(t.ledger.streak, 0.0);
    t.wait(600.0);
    EXPECT_EQ(t.look().today.breaks, 1) << "one pause, one break";
}

TEST(StatsLedger, BreakIsDatedWhenThePauseReachedFiveMinutes) {
    Typist t;
    t.now = localTime(t.calendar, "2024-03-05", 23, 37);
    for (int i = 0; i <= 20; ++i) {
        t.key();
        if (i < 20) {
            t.wait(60.0);
        }
    }
    // Last key at 23:57; the pause reaches five minutes at 00:02 on the next day. The first
    // operation to see it comes at 08:00.
    t.now = localTime(t.calendar, "2024-03-06", 8, 0);
    t.uptime += 8 * 3600.0;
    const StatsSnapshot snapshot = t.key();
    EXPECT_EQ(snapshot.today.breaks, 1);
    EXPECT_EQ(t.day("2024-03-05").breaks, 0);
    EXPECT_EQ(snapshot.today.focusSeconds, 0.0);
}

TEST(StatsLedger, ShortStreaksAndMidLengthGapsCountNoBreak) {
    Typist t;
    t.now = localTime(t.calendar, "2024-03-05", 14, 0);
    for (int i = 0; i <= 19; ++i) {  // 19 minutes
        t.key();
        if (i < 19) {
            t.wait(60.0);
        }
    }
    t.wait(600.0);
    EXPECT_EQ(t.look().today.breaks, 0);

    for (int i = 0; i <= 25; ++i) {
        t.key();
        t.wait(60.0);
    }
    t.wait(140.0);  // a 200 s gap in total: ends the streak without a break
    t.key();
    EXPECT_EQ(t.ledger.streak, 0.0);
    t.wait(400.0);
    EXPECT_EQ(t.look().today.breaks, 0);
}

TEST(StatsLedger, ZoneChangeBetweenTwoKeysResetsTheRun) {
    Typist t;
    t.now = localTime(t.calendar, "2024-03-05", 23, 30);
    t.key();
    t.wait(2.0);
    t.key();
    t.wait(2.0);
    t.calendar = zone("Asia/Tokyo");  // 08:30:04 on the 6th
    const StatsSnapshot snapshot = t.key();
    EXPECT_EQ(snapshot.today.date, "2024-03-06");
    EXPECT_EQ(snapshot.today.hourly[8], 1);
    EXPECT_EQ(snapshot.kpm, 12);
    EXPECT_EQ(snapshot.today.focusSeconds, 0.0);
    EXPECT_EQ(t.ledger.streak, 0.0);
    EXPECT_EQ(t.day("2024-03-05").keystrokes, 2);
    EXPECT_DOUBLE_EQ(t.day("2024-03-05").focusSeconds, 2.0);
    EXPECT_EQ(t.ledger.zone, "Asia/Tokyo");
}

TEST(StatsLedger, ZoneChangeWithinTheSameDayEmptiesTheWindow) {
    Typist t;
    t.now = localTime(t.calendar, "2024-03-05", 12, 0);
    t.key();
    t.wait(0.5);
    t.calendar = zone("Europe/London");  // same wall day in March
    const StatsSnapshot snapshot = t.key();
    EXPECT_EQ(snapshot.today.keystrokes, 2);
    EXPECT_EQ(snapshot.kpm, 12);
}

TEST(StatsLedger, UptimeGoingBackResetsWithoutBreak) {
    Typist t;
    t.now = localTime(t.calendar, "2024-03-05", 14, 0);
    for (int i = 0; i <= 25; ++i) {
        t.key();
        t.wait(60.0);
    }
    ASSERT_GE(t.ledger.streak, 1200.0);
    // A restart: the uptime clock starts again near zero, well after the pause would be due.
    t.now = t.now + 3600.0;
    t.uptime = 30.0;
    const StatsSnapshot snapshot = t.key();
    EXPECT_EQ(snapshot.today.breaks, 0);
    EXPECT_EQ(t.ledger.streak, 0.0);
    EXPECT_EQ(snapshot.kpm, 12);
}

TEST(StatsLedger, SnapshotCreatesDayWithoutCounting) {
    Typist t;
    t.now = localTime(t.calendar, "2024-03-05", 9, 0);
    const StatsSnapshot snapshot = t.look();
    EXPECT_EQ(snapshot.today, DailyStats::empty("2024-03-05"));
    EXPECT_EQ(snapshot.kpm, 0);
    EXPECT_TRUE(t.ledger.dirty.contains("2024-03-05"));
    EXPECT_EQ(t.ledger.currentDay, "2024-03-05");
}

TEST(StatsLedger, LoadedDaysAreNotMarkedDirty) {
    Typist t;
    t.now = localTime(t.calendar, "2024-03-05", 9, 0);
    DailyStats loaded = DailyStats::empty("2024-03-05");
    loaded.keystrokes = 7;
    loaded.hourly[8] = 7;
    t.ledger.days.emplace(loaded.date, loaded);
    EXPECT_EQ(t.look().today, loaded);
    EXPECT_TRUE(t.ledger.dirty.empty());
    EXPECT_EQ(t.key().today.keystrokes, 8);
    EXPECT_TRUE(t.ledger.dirty.contains("2024-03-05"));
}

// Regression: a day read back at the largest count, plus six keys, was saved as a negative count
// and moved aside as damaged on the next read. Counts now stop at the top of their range and the
// record stays valid; focus stops at what a record may hold.
TEST(StatsLedger, CountsStopAtTheEndOfTheirRangeAndTheDayStaysValid) {
    constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max();
    Typist t;
    t.now = localTime(t.calendar, "2024-03-05", 9, 0);
    DailyStats loaded = DailyStats::empty("2024-03-05");
    loaded.keystrokes = largest;
    loaded.hourly[9] = largest;
    loaded.focusSeconds = DailyStats::longestFocusSeconds - 1.0;
    t.ledger.days.emplace(loaded.date, loaded);
    for (int i = 0; i < 6; ++i) {
        t.key();
        t.wait(2.0);
    }
    const DailyStats& day = t.day("2024-03-05");
    EXPECT_EQ(day.keystrokes, largest);
    EXPECT_EQ(day.hourly[9], largest);
    EXPECT_EQ(day.focusSeconds, DailyStats::longestFocusSeconds);
    EXPECT_TRUE(day.isValid());

    // Breaks: a 20-minute streak, then a 5-minute pause, onto a day already at the largest count.
    DailyStats breaks = DailyStats::empty("2024-03-06");
    breaks.breaks = largest;
    t.ledger.days.emplace(breaks.date, breaks);
    t.now = localTime(t.calendar, "2024-03-06", 9, 0);
    for (int i = 0; i <= 21 * 60 / 60; ++i) {
        t.key();
        t.wait(60.0);
    }
    t.wait(300.0);
    t.look();
    EXPECT_EQ(t.day("2024-03-06").breaks, largest);
    EXPECT_TRUE(t.day("2024-03-06").isValid());
}

}  // namespace
}  // namespace tapwell

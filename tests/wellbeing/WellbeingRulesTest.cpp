#include "wellbeing/WellbeingRules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "WellbeingTestSupport.h"

namespace tapwell {
namespace {

using test::local;
using test::zone;
using Events = std::vector<WellbeingEvent>;

struct Given {
    double uptime;
    Date date;
    WellbeingEvent event;
};

// One user's day: wall time and uptime move together, key-downs come every 10 s while typing and
// the service's pass runs every 30 s.
class Story {
  public:
    Story(std::string_view zoneID, std::string_view day, int hour, int minute, int second = 0)
        : calendar(zone(zoneID)), now(local(calendar, day, hour, minute, second)) {}

    WellbeingRules rules;
    Calendar calendar;
    Date now;
    double uptime = 1000.0;
    std::int64_t total = 0;
    bool contextPaused = false;

    void advance(double seconds) {
        now = now + seconds;
        uptime += seconds;
    }
    void key() { rules.recordKeyDown(now, uptime, calendar); }
    Events tick() { return rules.evaluate(now, uptime, total, calendar, contextPaused); }
    WellbeingStatus status() const { return rules.status(now, uptime, calendar, contextPaused); }
    std::string today() const { return calendar.dayID(now); }

    // Types for `seconds`, starting with a key-down now; a pass follows every third key-down.
    std::vector<Given> type(double seconds) {
        std::vector<Given> given;
        key();
        for (double done = 10.0; done <= seconds; done += 10.0) {
            advance(10.0);
            key();
            if (++keysSinceTick_ == 3) {
                keysSinceTick_ = 0;
                collect(given);
            }
        }
        return given;
    }
    // Passes every 30 s for `seconds` without typing.
    std::vector<Given> idle(double seconds) {
        std::vector<Given> given;
        for (double done = 30.0; done <= seconds; done += 30.0) {
            advance(30.0);
            collect(given);
        }
        return given;
    }

  private:
    void collect(std::vector<Given>& given) {
        for (WellbeingEvent event : tick()) {
            given.push_back({uptime, now, event});
        }
    }
    int keysSinceTick_ = 0;
};

Events kinds(const std::vector<Given>& given) {
    Events events;
    for (const Given& g : given) {
        events.push_back(g.event);
    }
    return events;
}

// --- The break nudge ----------------------------------------------------------------------

TEST(WellbeingStory, FiftyMinuteStretchGivesTakeBreakThenEdgeDimThenNothing) {
    Story story("Europe/Berlin", "2026-12-07", 9, 0);
    story.rules.preferences.breakMinutes = 50;

    auto beforeThreshold = story.type(2990.0);  // keys up to uptime 3,990
    EXPECT_TRUE(beforeThreshold.empty());
    EXPECT_EQ(story.status().elapsedMinutes, 49);
    EXPECT_EQ(story.status().nextMinutes, 1);

    auto given = story.type(1810.0);
    ASSERT_EQ(given.size(), 2u);
    EXPECT_EQ(given[0].event, WellbeingEvent::takeBreak);
    EXPECT_EQ(given[0].uptime, 4000.0);
    EXPECT_EQ(given[1].event, WellbeingEvent::edgeDim);
    EXPECT_EQ(given[1].uptime, 5800.0);
    EXPECT_TRUE(story.rules.dimmed);
    EXPECT_FALSE(story.status().nextMinutes);  // nothing more to count down to in this stretch

    // Another hour of typing: the stretch has had its nudges.
    EXPECT_TRUE(story.type(3600.0).empty());
    EXPECT_EQ(story.rules.ledger.count(story.today()), 2);
    EXPECT_EQ(story.rules.ledger.last.at("takeBreak"), given[0].date);
}

TEST(WellbeingStory, StatusCountsDownToTheEdgeDimmingAfterTheBreakNudge) {
    Story story("Europe/Berlin", "2026-12-07", 9, 0);
    story.rules.preferences.breakMinutes = 30;
    auto given = story.type(1800.0);
    ASSERT_EQ(kinds(given), Events{WellbeingEvent::takeBreak});
    EXPECT_EQ(story.status().nextMinutes, 30);
    story.type(610.0);
    EXPECT_EQ(story.status().nextMinutes, 20);  // 1,190 s left, rounded up
    EXPECT_EQ(story.status().elapsedMinutes, 40);
}

TEST(WellbeingStory, FiveMinutesWithoutTypingEndTheStretchAndTheBreakCounts) {
    Story story("Europe/Berlin", "2026-12-07", 9, 0);
    story.rules.preferences.breakMinutes = 30;
    ASSERT_EQ(kinds(story.type(1800.0)), Events{WellbeingEvent::takeBreak});

    // 299 s is still the same stretch...
    story.advance(299.0);
    story.key();
    EXPECT_EQ(story.status().elapsedMinutes, 34);
    // ...300 s is not: the user took the break.
    story.advance(300.0);
    story.key();
    EXPECT_EQ(story.status().elapsedMinutes, 0);
    EXPECT_FALSE(story.rules.breakSent);
    EXPECT_EQ(story.status().nextMinutes, 30);
    // No dimming for a stretch that never got its own break nudge.
    EXPECT_EQ(kinds(story.type(1790.0)), Events{});
    EXPECT_EQ(kinds(story.type(10.0)), Events{WellbeingEvent::takeBreak});
}

TEST(WellbeingStory, TypingThatStoppedGivesNoBreakNudge) {
    Story story("Europe/Berlin", "2026-12-07", 9, 0);
    story.rules.preferences.breakMinutes = 30;
    story.type(1790.0);
    // The stretch is long enough only at passes when the last key is 300 s or more ago.
    story.advance(300.0);
    EXPECT_TRUE(story.tick().empty());
    EXPECT_TRUE(story.idle(600.0).empty());
}

TEST(WellbeingStory, BreakNudgeOffGivesNoBreakEventsAndNoCountdown) {
    Story story("Europe/Berlin", "2026-12-07", 9, 0);
    story.rules.preferences.breakNudge = false;
    EXPECT_TRUE(story.type(7200.0).empty());
    EXPECT_FALSE(story.status().nextMinutes);
    EXPECT_EQ(story.status().elapsedMinutes, 120);
}

TEST(WellbeingStory, SnoozeKeepsTheStretchAndNudgesAgainAfterFifteenMinutes) {
    Story story("Europe/Berlin", "2026-12-07", 11, 30);
    story.rules.preferences.breakMinutes = 30;
    auto first = story.type(1800.0);
    ASSERT_EQ(kinds(first), Events{WellbeingEvent::takeBreak});
    ASSERT_EQ(first[0].date, local(story.calendar, "2026-12-07", 12, 0));

    story.rules.act(BreakAction::snooze, story.now);
    EXPECT_EQ(story.rules.ledger.deferredUntil, local(story.calendar, "2026-12-07", 12, 15));
    EXPECT_EQ(story.status().nextMinutes, 15);
    EXPECT_EQ(story.status().elapsedMinutes, 30);  // the stretch goes on

    auto again = story.type(900.0);
    ASSERT_EQ(kinds(again), Events{WellbeingEvent::takeBreak});
    EXPECT_EQ(again[0].date, local(story.calendar, "2026-12-07", 12, 15));
    EXPECT_FALSE(story.rules.ledger.deferredUntil);
    // The deferred nudge is a nudge of this stretch: the edges follow one repeat interval later.
    auto dim = story.type(1800.0);
    EXPECT_EQ(kinds(dim), Events{WellbeingEvent::edgeDim});
}

TEST(WellbeingStory, SnoozeAfterTheEdgesWereDimmedStartsTheCountdownAgain) {
    Story story("Europe/Berlin", "2026-12-07", 9, 0);
    story.rules.preferences.breakMinutes = 30;
    ASSERT_EQ(kinds(story.type(3600.0)),
              (Events{WellbeingEvent::takeBreak, WellbeingEvent::edgeDim}));
    story.rules.act(BreakAction::snooze, story.now);
    EXPECT_FALSE(story.rules.dimmed);
    EXPECT_EQ(story.status().nextMinutes, 15);
    EXPECT_EQ(kinds(story.type(900.0)), Events{WellbeingEvent::takeBreak});
}

TEST(WellbeingStory, TakeFiveRestartsTheStretchAndWaitsForTheThreshold) {
    Story story("Europe/Berlin", "2026-12-07", 11, 30);
    story.rules.preferences.breakMinutes = 30;
    ASSERT_EQ(kinds(story.type(1800.0)), Events{WellbeingEvent::takeBreak});

    story.rules.act(BreakAction::takeFive, story.now);  // 12:00
    EXPECT_EQ(story.rules.ledger.deferredUntil, story.now + 300.0);
    EXPECT_FALSE(story.rules.start);
    EXPECT_EQ(story.status().elapsedMinutes, 0);
    EXPECT_EQ(story.status().nextMinutes, 5);

    // Typing on at once: the new stretch starts at 12:00:10, long past the deferral, and the
    // nudge waits for it to reach 30 minutes.
    story.advance(10.0);
    auto given = story.type(1810.0);
    ASSERT_EQ(kinds(given), Events{WellbeingEvent::takeBreak});
    EXPECT_EQ(given[0].date, local(story.calendar, "2026-12-07", 12, 30, 10));
}

TEST(WellbeingStory, TakeFiveInDebugTimingWaitsForTheDeferral) {
    Story story("Europe/Berlin", "2026-12-07", 11, 59);
    story.rules.debug = true;
    ASSERT_EQ(kinds(story.type(60.0)), Events{WellbeingEvent::takeBreak});  // at 12:00
    story.rules.act(BreakAction::takeFive, story.now);

    // The new stretch passes 60 s at 12:01:10, but the deferral holds until 12:05.
    auto given = story.type(600.0);
    ASSERT_FALSE(given.empty());
    EXPECT_EQ(given[0].event, WellbeingEvent::takeBreak);
    EXPECT_EQ(given[0].date, local(story.calendar, "2026-12-07", 12, 5));
}

TEST(WellbeingStory, DebugTimingNudgesAfterAMinuteAndDimsAMinuteLater) {
    Story story("Europe/Berlin", "2026-12-07", 9, 0);
    story.rules.debug = true;
    auto given = story.type(120.0);
    ASSERT_EQ(kinds(given), (Events{WellbeingEvent::takeBreak, WellbeingEvent::edgeDim}));
    EXPECT_EQ(given[0].uptime, 1060.0);
    EXPECT_EQ(given[1].uptime, 1120.0);
    // Debug timing leaves the idle gap alone.
    story.advance(299.0);
    story.key();
    EXPECT_EQ(story.status().elapsedMinutes, 6);
}

// --- The daily cap and the spacing --------------------------------------------------------

TEST(WellbeingStory, SixEventsADayAndNotOneMore) {
    Story story("Europe/Berlin", "2026-12-07", 9, 0);
    story.rules.debug = true;
    story.rules.preferences.dailyLimit = true;
    story.rules.preferences.dailyKeystrokes = 1000000;

    Events all;
    for (int stretch = 0; stretch < 3; ++stretch) {
        auto given = story.type(120.0);
        for (auto& g : given) {
            all.push_back(g.event);
        }
        story.idle(330.0);  // a real break
    }
    ASSERT_EQ(
        all, (Events{WellbeingEvent::takeBreak, WellbeingEvent::edgeDim, WellbeingEvent::takeBreak,
                     WellbeingEvent::edgeDim, WellbeingEvent::takeBreak, WellbeingEvent::edgeDim}));
    EXPECT_EQ(story.rules.ledger.count(story.today()), 6);

    // Over the limit and typing on: the cap holds back every kind, and the countdown goes.
    story.total = 2000000;
    EXPECT_TRUE(story.type(600.0).empty());
    EXPECT_FALSE(story.status().nextMinutes);
    EXPECT_EQ(story.rules.ledger.count(story.today()), 6);

    // A new day has a new cap (the limit needs no typing, so it comes at the first pass).
    story.advance(24 * 3600.0);
    auto tomorrow = story.type(60.0);
    EXPECT_EQ(kinds(tomorrow), (Events{WellbeingEvent::dailyLimit, WellbeingEvent::takeBreak}));
}

TEST(WellbeingStory, TheCapSeesAnEventCommittedEarlierInTheSamePass) {
    Story story("Europe/Berlin", "2026-12-07", 23, 0);
    story.rules.debug = true;
    story.rules.ledger.counts[story.today()] = 5;
    // Late and past the threshold in one pass: only the break nudge fits under the cap.
    story.key();
    for (int i = 0; i < 6; ++i) {
        story.advance(10.0);
        story.key();
    }
    EXPECT_EQ(story.tick(), Events{WellbeingEvent::takeBreak});
    EXPECT_EQ(story.rules.ledger.count(story.today()), 6);
}

TEST(WellbeingStory, SameKindNudgesKeepThirtyMinutesApartInWallTime) {
    // With the late window covering the whole day, two nights' markers are minutes apart.
    Story story("Europe/Berlin", "2026-12-07", 23, 50);
    story.rules.preferences.lateMinute = 0;
    EXPECT_EQ(kinds(story.type(30.0)), Events{WellbeingEvent::lateNight});

    story.advance(1200.0);  // 00:10:30, a new day and a new marker, but only 20 minutes later
    EXPECT_TRUE(story.type(30.0).empty());
    story.advance(570.0);  // 00:20:30 and past 30 minutes since 23:50:30
    auto given = story.type(30.0);
    ASSERT_EQ(kinds(given), Events{WellbeingEvent::lateNight});
    EXPECT_TRUE(story.rules.ledger.once.contains("2026-12-08/lateNight"));
}

// --- Late night ---------------------------------------------------------------------------

TEST(WellbeingStory, LateNightAcrossMidnightIsOneNudgeWithTheEveningsMarker) {
    Story story("Europe/Berlin", "2026-12-07", 23, 10);
    story.rules.preferences.lateMinute = 1350;  // 22:30
    EXPECT_TRUE(story.status().softer);

    auto evening = story.type(600.0);
    ASSERT_EQ(kinds(evening), Events{WellbeingEvent::lateNight});
    EXPECT_EQ(evening[0].date, local(story.calendar, "2026-12-07", 23, 10, 30));
    EXPECT_TRUE(story.rules.ledger.once.contains("2026-12-07/lateNight"));
    EXPECT_EQ(story.rules.ledger.count("2026-12-07"), 1);

    story.advance(3600.0);  // 00:20
    EXPECT_TRUE(story.status().softer);
    EXPECT_TRUE(story.type(600.0).empty());
    EXPECT_EQ(story.rules.ledger.count("2026-12-08"), 0);

    story.now = local(story.calendar, "2026-12-08", 5, 59, 59);
    EXPECT_TRUE(story.status().softer);
    story.now = local(story.calendar, "2026-12-08", 6, 0);
    EXPECT_FALSE(story.status().softer);

    // The next evening is a new night.
    story.now = local(story.calendar, "2026-12-08", 22, 40);
    story.uptime += 100000.0;
    EXPECT_EQ(kinds(story.type(30.0)), Events{WellbeingEvent::lateNight});
    EXPECT_TRUE(story.rules.ledger.once.contains("2026-12-08/lateNight"));
}

TEST(WellbeingStory, LateNightOnlyWhileTyping) {
    Story story("Europe/Berlin", "2026-12-07", 23, 10);
    EXPECT_TRUE(story.idle(600.0).empty());
    story.key();
    EXPECT_EQ(story.tick(), Events{WellbeingEvent::lateNight});
}

TEST(WellbeingStory, AnAfternoonLateWindowEndsAtMidnight) {
    Story story("Europe/Berlin", "2026-12-07", 15, 30);
    story.rules.preferences.lateMinute = 900;  // 15:00
    EXPECT_EQ(kinds(story.type(30.0)), Events{WellbeingEvent::lateNight});
    EXPECT_TRUE(story.rules.ledger.once.contains("2026-12-07/lateNight"));

    story.now = local(story.calendar, "2026-12-08", 1, 0);
    story.uptime += 40000.0;
    EXPECT_FALSE(story.status().softer);
    EXPECT_TRUE(story.type(600.0).empty());
    story.now = local(story.calendar, "2026-12-07", 14, 59);
    EXPECT_FALSE(story.status().softer);
}

TEST(WellbeingStory, TheWindowReachesPastMidnightFromSixInTheEvening) {
    Story story("Europe/Berlin", "2026-12-07", 3, 0);
    story.rules.preferences.lateMinute = 1079;
    EXPECT_FALSE(story.status().softer);
    story.rules.preferences.lateMinute = 1080;
    EXPECT_TRUE(story.status().softer);
    story.rules.preferences.lateNight = false;
    EXPECT_FALSE(story.status().softer);
}

TEST(WellbeingStory, APauseSilencesTheSofterModeAndEveryNudge) {
    Story story("Europe/Berlin", "2026-12-07", 23, 10);
    story.rules.debug = true;
    story.rules.ledger.pausedUntil = local(story.calendar, "2026-12-07", 23, 20);
    EXPECT_FALSE(story.status().softer);
    EXPECT_EQ(story.status().pausedUntil, story.rules.ledger.pausedUntil);

    EXPECT_TRUE(story.type(570.0).empty());
    EXPECT_TRUE(story.status().nextMinutes);  // the pause does not hide the countdown

    // The first pass at the pause's end clears it and nudges again.
    auto given = story.type(30.0);
    EXPECT_FALSE(story.rules.ledger.pausedUntil);
    EXPECT_EQ(kinds(given), (Events{WellbeingEvent::takeBreak, WellbeingEvent::lateNight}));
    EXPECT_TRUE(story.status().softer);
}

// --- Wrap-up --------------------------------------------------------------------------------

TEST(WellbeingStory, WrapUpNeedsItsMinuteCrossedSinceAPassAtMostNinetySecondsBefore) {
    struct Case {
        const char* why;
        int hour, minute, second;  // of the first pass, which never gives a wrap-up
        double gap;                // to the second pass
        bool on;
        bool given;
    };
    const Case cases[] = {
        {"crossed between two passes", 17, 29, 50, 30.0, true, true},
        {"a pass exactly at the minute, 90 s after the previous", 17, 28, 30, 90.0, true, true},
        {"the previous pass 91 s old", 17, 28, 29, 91.0, true, false},
        {"the previous pass 40 minutes old", 17, 20, 0, 2400.0, true, false},
        {"a first pass exactly at the minute crossed it already", 17, 30, 0, 30.0, true, false},
        {"a first pass after the minute", 17, 30, 10, 30.0, true, false},
        {"the preference off", 17, 29, 50, 30.0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Story story("Europe/Berlin", "2026-12-07", c.hour, c.minute, c.second);
        story.rules.preferences.wrapMinute = 1050;  // 17:30
        story.rules.preferences.wrapUp = c.on;
        EXPECT_TRUE(story.tick().empty());
        story.advance(c.gap);
        EXPECT_EQ(story.tick(), c.given ? Events{WellbeingEvent::wrapUp} : Events{});
    }
}

TEST(WellbeingStory, WrapUpIsGivenOnceADay) {
    Story story("Europe/Berlin", "2026-12-07", 17, 29, 50);
    story.rules.preferences.wrapMinute = 1050;
    story.tick();
    story.advance(30.0);
    ASSERT_EQ(story.tick(), Events{WellbeingEvent::wrapUp});
    EXPECT_TRUE(story.rules.ledger.once.contains("2026-12-07/wrapUp"));
    // The wall clock brings the minute round again.
    story.now = local(story.calendar, "2026-12-07", 17, 29, 40);
    EXPECT_TRUE(story.tick().empty());
    story.advance(30.0);
    EXPECT_TRUE(story.tick().empty());
}

TEST(WellbeingStory, WrapUpAtAMinuteSkippedBySpringForwardComesAtTheGapsEnd) {
    // New York, 2026-03-08: 02:00 EST jumps to 03:00 EDT, so 02:30 never happens that night.
    Story story("America/New_York", "2026-03-08", 1, 59, 0);
    story.rules.preferences.wrapMinute = 150;
    story.tick();
    story.advance(30.0);  // 01:59:30 EST
    EXPECT_TRUE(story.tick().empty());
    story.advance(40.0);  // 03:00:10 EDT
    EXPECT_EQ(story.calendar.components(story.now).hour, 3);
    EXPECT_EQ(story.tick(), Events{WellbeingEvent::wrapUp});
    story.advance(30.0 * 60.0);  // 03:30 EDT: once only
    story.tick();
    story.advance(30.0);
    EXPECT_TRUE(story.tick().empty());
}

TEST(WellbeingStory, WrapUpAtARepeatedMinuteTakesTheFirstOccurrence) {
    // New York, 2026-11-01: 02:00 EDT falls back to 01:00 EST, so 01:30 happens twice.
    Story first("America/New_York", "2026-11-01", 1, 29, 50);  // the EDT occurrence
    first.rules.preferences.wrapMinute = 90;
    first.tick();
    first.advance(30.0);
    EXPECT_EQ(first.tick(), Events{WellbeingEvent::wrapUp});

    // Passes around the second 01:30 only: the target lies an hour back, nothing is given.
    Story second("America/New_York", "2026-11-01", 1, 29, 50);
    second.rules.preferences.wrapMinute = 90;
    second.advance(3600.0);  // 01:29:50 EST
    EXPECT_EQ(second.calendar.components(second.now).minute, 29);
    second.tick();
    second.advance(30.0);
    EXPECT_TRUE(second.tick().empty());
}

TEST(WellbeingStory, WrapUpIsNotGivenLateAfterAContextPauseOrASleep) {
    for (const bool sleep : {false, true}) {
        SCOPED_TRACE(sleep ? "sleep" : "context pause");
        Story story("Europe/Berlin", "2026-12-07", 17, 29, 20);
        story.rules.preferences.wrapMinute = 1050;
        story.tick();
        const auto hold = [&](bool on) {
            if (sleep) {
                story.rules.setSuspended(on);
            } else {
                story.contextPaused = on;
            }
        };
        hold(true);
        story.advance(30.0);
        EXPECT_TRUE(story.tick().empty());
        story.advance(30.0);  // 17:30:20: crossed while held
        EXPECT_TRUE(story.tick().empty());
        EXPECT_FALSE(story.status().nextMinutes);
        hold(false);
        story.advance(30.0);
        EXPECT_TRUE(story.tick().empty());
        EXPECT_FALSE(story.rules.ledger.once.contains("2026-12-07/wrapUp"));
    }
}

TEST(WellbeingStory, AMinuteTheCalendarCannotPlaceSkipsOnlyTheWrapUp) {
    Story story("Europe/Berlin", "2026-12-07", 17, 29, 50);
    story.rules.preferences.wrapMinute = 5000;  // never repaired on this path
    story.rules.preferences.dailyLimit = true;
    story.rules.preferences.dailyKeystrokes = 10;
    story.tick();
    story.advance(30.0);
    story.total = 10;
    EXPECT_EQ(story.tick(), Events{WellbeingEvent::dailyLimit});
    EXPECT_EQ(story.rules.previousTick, story.now);
}

// --- Daily limit --------------------------------------------------------------------------

TEST(WellbeingStory, DailyLimitOncePerDayWithoutTyping) {
    Story story("Europe/Berlin", "2026-12-07", 15, 0);
    story.rules.preferences.dailyLimit = true;
    story.rules.preferences.dailyKeystrokes = 10000;
    story.total = 9999;
    EXPECT_TRUE(story.tick().empty());
    story.total = 10000;
    story.advance(30.0);
    EXPECT_EQ(story.tick(), Events{WellbeingEvent::dailyLimit});
    story.total = 15000;
    story.advance(4 * 3600.0);
    EXPECT_TRUE(story.tick().empty());
    EXPECT_TRUE(story.rules.ledger.once.contains("2026-12-07/dailyLimit"));

    story.now = local(story.calendar, "2026-12-08", 9, 0);
    story.total = 10000;
    EXPECT_EQ(story.tick(), Events{WellbeingEvent::dailyLimit});

    story.rules.preferences.dailyLimit = false;
    story.now = local(story.calendar, "2026-12-09", 9, 0);
    EXPECT_TRUE(story.tick().empty());
}

// --- Clock changes ------------------------------------------------------------------------

TEST(WellbeingStory, ATimeZoneChangeResetsTheStretchAndTheWrapUpCrossing) {
    Story story("Europe/Berlin", "2026-12-07", 17, 10);
    story.rules.preferences.wrapMinute = 1050;
    story.type(1180.0);  // to 17:29:40, with a pass there
    ASSERT_EQ(story.status().elapsedMinutes, 19);

    // Paris keeps the same wall time, yet it is another zone.
    story.calendar = zone("Europe/Paris");
    story.advance(30.0);
    story.key();
    EXPECT_EQ(story.status().elapsedMinutes, 0);
    EXPECT_FALSE(story.rules.previousTick);
    EXPECT_TRUE(story.tick().empty());  // 17:30:10: the crossing is not seen
    EXPECT_EQ(story.rules.zone, "Europe/Paris");
}

TEST(WellbeingStory, TheWallClockGoingBackResetsTheStretch) {
    Story story("Europe/Berlin", "2026-12-07", 9, 0);
    story.type(1200.0);
    ASSERT_EQ(story.status().elapsedMinutes, 20);
    story.now = story.now - 3600.0;
    story.advance(10.0);
    story.key();
    EXPECT_EQ(story.status().elapsedMinutes, 0);
    EXPECT_EQ(story.rules.start, story.uptime);
}

TEST(WellbeingStory, TheUptimeClockGoingBackResetsTheStretchWithoutNegativeMinutes) {
    Story story("Europe/Berlin", "2026-12-07", 9, 0);
    story.type(1200.0);
    story.uptime = 50.0;  // a restart of the machine
    EXPECT_EQ(story.status().elapsedMinutes, 0);
    EXPECT_TRUE(story.tick().empty());
    EXPECT_FALSE(story.rules.start);
    EXPECT_EQ(story.status().nextMinutes, 60);
}

TEST(WellbeingStory, SuspendedRulesIgnoreKeysAndGiveNothing) {
    Story story("Europe/Berlin", "2026-12-07", 9, 0);
    story.rules.debug = true;
    story.type(50.0);
    story.rules.setSuspended(true);
    EXPECT_FALSE(story.rules.start);
    EXPECT_TRUE(story.type(120.0).empty());
    EXPECT_FALSE(story.rules.start);
    EXPECT_FALSE(story.status().nextMinutes);
    story.rules.setSuspended(false);
    EXPECT_EQ(kinds(story.type(90.0)), Events{WellbeingEvent::takeBreak});
}

}  // namespace
}  // namespace tapwell

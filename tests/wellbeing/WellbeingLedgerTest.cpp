#include "wellbeing/WellbeingLedger.h"

#include <gtest/gtest.h>

#include <limits>

#include <nlohmann/json.hpp>
#include <string>

#include "WellbeingTestSupport.h"
#include "core/UserDefaults.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

using test::local;
using test::zone;

TEST(WellbeingEvent, RawValuesAreCaseNamesAndRoundTrip) {
    const char* expected[] = {"takeBreak", "edgeDim", "lateNight", "wrapUp", "dailyLimit"};
    int index = 0;
    for (WellbeingEvent event : allWellbeingEvents) {
        EXPECT_STREQ(toString(event), expected[index++]);
        EXPECT_EQ(wellbeingEventFromString(toString(event)), event);
    }
    EXPECT_FALSE(wellbeingEventFromString("TakeBreak"));
    EXPECT_FALSE(wellbeingEventFromString(""));
}

TEST(WellbeingLedger, TwoEventsOnOneDayCountTwiceWithTwoMarkers) {
    const Calendar berlin = zone("Europe/Berlin");
    const Date noon = local(berlin, "2026-12-05", 12, 0);
    WellbeingLedger ledger;
    ledger.commit(WellbeingEvent::takeBreak, "2026-12-05", noon, berlin);
    ledger.commit(WellbeingEvent::wrapUp, "2026-12-05", noon + 60, berlin);

    EXPECT_EQ(ledger.counts.at("2026-12-05"), 2);
    EXPECT_TRUE(ledger.once.contains("2026-12-05/takeBreak"));
    EXPECT_TRUE(ledger.once.contains("2026-12-05/wrapUp"));
    EXPECT_EQ(ledger.once.size(), 2u);
    EXPECT_EQ(ledger.last.at("takeBreak"), noon);
    EXPECT_EQ(ledger.last.at("wrapUp"), noon + 60);
}

TEST(WellbeingLedger, CountReadBackAtItsLargestStaysThere) {
    const Calendar berlin = zone("Europe/Berlin");
    auto ledger = WellbeingLedger::fromJSON(
        R"({"counts":{"2026-12-05":9223372036854775807},"last":{},"once":[]})");
    ASSERT_TRUE(ledger.has_value());
    ledger->commit(WellbeingEvent::wrapUp, "2026-12-05", local(berlin, "2026-12-05", 12, 0),
                   berlin);
    EXPECT_EQ(ledger->count("2026-12-05"), std::numeric_limits<std::int64_t>::max());
}

TEST(WellbeingLedger, CommitUsesTheCallersDayNotTheDatesDay) {
    const Calendar berlin = zone("Europe/Berlin");
    WellbeingLedger ledger;
    ledger.commit(WellbeingEvent::lateNight, "2026-12-04", local(berlin, "2026-12-05", 0, 30),
                  berlin);
    EXPECT_EQ(ledger.count("2026-12-04"), 1);
    EXPECT_EQ(ledger.count("2026-12-05"), 0);
    EXPECT_TRUE(ledger.once.contains("2026-12-04/lateNight"));
}

TEST(WellbeingLedger, PrunesBeforeTheThirtyTwoDayCutoffByStringOrder) {
    const Calendar berlin = zone("Europe/Berlin");
    WellbeingLedger ledger;
    ledger.counts = {{"2026-11-02", 3}, {"2026-11-03", 4}, {"2026-11-20", 1}};
    ledger.once = {"2026-11-02/wrapUp", "2026-11-03/lateNight", "2026-11-02", "2026-11-03"};
    ledger.last = {{"dailyLimit", Date{0.0}}};

    ledger.commit(WellbeingEvent::takeBreak, "2026-12-05", local(berlin, "2026-12-05", 0, 30),
                  berlin);

    EXPECT_FALSE(ledger.counts.contains("2026-11-02"));
    EXPECT_EQ(ledger.counts.at("2026-11-03"), 4);
    EXPECT_EQ(ledger.counts.at("2026-11-20"), 1);
    EXPECT_FALSE(ledger.once.contains("2026-11-02/wrapUp"));
    EXPECT_FALSE(ledger.once.contains("2026-11-02"));
    EXPECT_TRUE(ledger.once.contains("2026-11-03/lateNight"));
    EXPECT_TRUE(ledger.once.contains("2026-11-03"));
    // The kind's last time is kept however old it is.
    EXPECT_EQ(ledger.last.at("dailyLimit"), Date{0.0});
}

TEST(WellbeingLedger, CutoffIsThirtyTwoFixedDaysAcrossADaylightSavingChange) {
    // Berlin lost an hour on 2026-03-29: 32 x 24 h before 2026-04-05 00:30 is 2026-03-03 23:30
    // local time, so the third of March is still kept.
    const Calendar berlin = zone("Europe/Berlin");
    WellbeingLedger ledger;
    ledger.counts = {{"2026-03-02", 1}, {"2026-03-03", 1}, {"2026-03-04", 1}};
    ledger.commit(WellbeingEvent::wrapUp, "2026-04-05", local(berlin, "2026-04-05", 0, 30), berlin);
    EXPECT_FALSE(ledger.counts.contains("2026-03-02"));
    EXPECT_TRUE(ledger.counts.contains("2026-03-03"));
    EXPECT_TRUE(ledger.counts.contains("2026-03-04"));
}

TEST(WellbeingLedger, StoresDatesAsSecondsSinceTwoThousandOne) {
    WellbeingLedger ledger;
    ledger.last["wrapUp"] = Date::fromUnix(978307230.0);
    ledger.deferredUntil = Date{30.0};
    auto json = ledger.toJSON();
    ASSERT_TRUE(json);
    auto parsed = nlohmann::json::parse(*json);
    EXPECT_EQ(parsed["last"]["wrapUp"].get<double>(), 30.0);
    EXPECT_EQ(parsed["deferredUntil"].get<double>(), 30.0);
    EXPECT_FALSE(parsed.contains("pausedUntil"));
    EXPECT_TRUE(parsed["counts"].is_object());
    EXPECT_TRUE(parsed["once"].is_array());
    // Compact output.
    EXPECT_EQ(json->find(' '), std::string::npos);
    EXPECT_EQ(json->find('\n'), std::string::npos);
}

TEST(WellbeingLedger, JsonRoundTripKeepsEverything) {
    WellbeingLedger ledger;
    ledger.counts = {{"2026-12-04", 6}, {"2026-12-05", 2}};
    ledger.last = {{"takeBreak", Date{123456.25}}, {"lateNight", Date{-10.5}}};
    ledger.once = {"2026-12-04/lateNight", "2026-12-05/takeBreak"};
    ledger.pausedUntil = Date{800000000.125};
    ledger.deferredUntil = Date{800000300.0};
    auto json = ledger.toJSON();
    ASSERT_TRUE(json);
    EXPECT_EQ(WellbeingLedger::fromJSON(*json), ledger);

    WellbeingLedger fresh;
    EXPECT_EQ(WellbeingLedger::fromJSON(*fresh.toJSON()), fresh);
}

TEST(WellbeingLedger, DecodingRejectsMissingOrWrongTypedRequiredMembersAndBrokenText) {
    EXPECT_TRUE(WellbeingLedger::fromJSON(R"({"counts":{},"last":{},"once":[]})"));
    for (const char* text : {
             R"({"last":{},"once":[]})",
             R"({"counts":{},"once":[]})",
             R"({"counts":{},"last":{}})",
             R"({"counts":null,"last":{},"once":[]})",
             R"({"counts":{"2026-12-05":"2"},"last":{},"once":[]})",
             R"({"counts":{"2026-12-05":1.5},"last":{},"once":[]})",
             R"({"counts":{"a":18446744073709551615},"last":{},"once":[]})",
             R"({"counts":{},"last":{"wrapUp":"x"},"once":[]})",
             R"({"counts":{},"last":{},"once":[1]})",
             R"({"counts":[],"last":{},"once":[]})",
             R"({"counts":{},"last":{},"once":{}})",
             "",
             "[]",
             "42",
             R"({"counts":{},"last":{},"once":[])",
         }) {
        EXPECT_FALSE(WellbeingLedger::fromJSON(text)) << text;
    }
}

TEST(WellbeingLedger, DecodingAcceptsWholeNumbersInAnyTextForm) {
    auto ledger = WellbeingLedger::fromJSON(
        R"({"counts":{"2026-12-05":2.0,"2026-12-06":3e0},"last":{"edgeDim":30},"once":["x","x"]})");
    ASSERT_TRUE(ledger);
    EXPECT_EQ(ledger->count("2026-12-05"), 2);
    EXPECT_EQ(ledger->count("2026-12-06"), 3);
    EXPECT_EQ(ledger->last.at("edgeDim"), Date{30.0});
    EXPECT_EQ(ledger->once.size(), 1u);
}

TEST(WellbeingLedger, OptionalDatesMayBeMissingNullOrUnusable) {
    auto missing = WellbeingLedger::fromJSON(R"({"counts":{},"last":{},"once":[]})");
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->pausedUntil);
    EXPECT_FALSE(missing->deferredUntil);

    auto nulls = WellbeingLedger::fromJSON(
        R"({"counts":{},"last":{},"once":[],"pausedUntil":null,"deferredUntil":null})");
    ASSERT_TRUE(nulls);
    EXPECT_FALSE(nulls->pausedUntil);
    EXPECT_FALSE(nulls->deferredUntil);

    auto wrong = WellbeingLedger::fromJSON(
        R"({"counts":{"2026-12-05":1},"last":{},"once":[],"pausedUntil":"soon","deferredUntil":12.5})");
    ASSERT_TRUE(wrong);
    EXPECT_FALSE(wrong->pausedUntil);
    EXPECT_EQ(wrong->deferredUntil, Date{12.5});
    EXPECT_EQ(wrong->count("2026-12-05"), 1);
}

TEST(WellbeingLedger, TextThatCannotBeEncodedFailsWithoutTouchingTheStore) {
    test::TempDir dir;
    UserDefaults defaults(dir / "defaults.json");
    WellbeingLedger good;
    good.counts["2026-12-05"] = 1;
    ASSERT_TRUE(good.save(defaults));
    const auto stored = defaults.dataValue(WellbeingLedger::defaultsKey);

    WellbeingLedger bad;
    bad.once.insert(std::string("\xff\xfe", 2));
    EXPECT_FALSE(bad.toJSON());
    EXPECT_FALSE(bad.save(defaults));
    EXPECT_EQ(defaults.dataValue(WellbeingLedger::defaultsKey), stored);
}

TEST(WellbeingLedger, LoadFallsBackToAFreshLedgerAndLeavesTheStoredValue) {
    test::TempDir dir;
    UserDefaults defaults(dir / "defaults.json");
    EXPECT_EQ(WellbeingLedger::load(defaults), WellbeingLedger{});

    const std::string broken = R"({"last":{},"once":[],"pausedUntil":5})";
    defaults.set(WellbeingLedger::defaultsKey, Bytes(broken.begin(), broken.end()));
    EXPECT_EQ(WellbeingLedger::load(defaults), WellbeingLedger{});
    EXPECT_EQ(defaults.dataValue(WellbeingLedger::defaultsKey),
              Bytes(broken.begin(), broken.end()));

    // A value of another type under the key is not a ledger either.
    defaults.set(WellbeingLedger::defaultsKey, std::string("{}"));
    EXPECT_EQ(WellbeingLedger::load(defaults), WellbeingLedger{});
}

}  // namespace
}  // namespace tapwell

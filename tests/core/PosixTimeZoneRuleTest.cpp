#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "core/PosixTimeZoneRule.h"

namespace tapwell {
namespace {

TEST(PosixTimeZoneRule, OffsetsOnBothSidesOfEachRuleForm) {
    struct Case {
        const char* rule;
        std::vector<std::pair<std::int64_t, std::int32_t>> offsets;  // Unix time, offset
    };
    const Case cases[] = {
        // The second Sunday of March and the first of November at 02:00.
        {"EST5EDT,M3.2.0,M11.1.0",
         {{1710053999, -18000}, {1710054000, -14400}, {1730613599, -14400}, {1730613600, -18000}}},
        // Daylight saving "negative": winter is the saving time.
        {"IST-1GMT0,M10.5.0,M3.5.0/1",
         {{1705320000, 0}, {1719835200, 3600}, {1711846799, 0}, {1711846800, 3600},
          {1729990799, 3600}, {1729990800, 0}}},
        // Negative transition times (version 3).
        {"<-03>3<-02>,M3.5.0/-2,M10.5.0/-1",
         {{1711846799, -10800}, {1711846800, -7200}, {1729990799, -7200}, {1729990800, -10800}}},
        // Daylight saving all year: it ends at 25:00 on the last day as the next year's starts.
        {"EST5EDT,0/0,J365/25",
         {{1704067200, -14400}, {1719792000, -14400}, {1735686000, -14400}, {1735705800, -14400}}},
        // Jn never counts 29 February; n does.
        {"AAA3BBB,J60/2,300/2",
         {{1709269199, -10800}, {1709269200, -7200}, {1677646800, -7200}, {1677585600, -10800},
          {1730001599, -7200}, {1730001600, -10800}, {1698465599, -7200}, {1698465600, -10800}}},
        // Week 5 is the last such weekday; a time past 24:00 runs into the next day.
        {"AAA0BBB,M2.5.0,M11.5.6/26",
         {{1708826399, 0}, {1708826400, 3600}, {1733014799, 3600}, {1733014800, 0}}},
        {"<+0530>-5:30", {{0, 19800}, {1719792000, 19800}}},
        // Daylight saving without a rule takes the United States' one.
        {"EST5EDT", {{1719792000, -14400}, {1704067200, -18000}}},
        {"UTC0", {{-1000000000000, 0}, {1000000000000, 0}}},
    };
    for (const Case& c : cases) {
        const auto rule = PosixTimeZoneRule::parse(c.rule);
        ASSERT_TRUE(rule) << c.rule;
        for (const auto& [utc, offset] : c.offsets) {
            const PosixTimeZoneRule::Span span = rule->spanAt(utc);
            EXPECT_EQ(span.offset, offset) << c.rule << " at " << utc;
            EXPECT_TRUE(span.from <= utc && utc < span.to) << c.rule << " at " << utc;
        }
    }
}

TEST(PosixTimeZoneRule, RejectsAnythingButAWholeRule) {
    for (const char* text :
         {"", "EST", "AB5", "<AB>5", "<ABC5", "EST25", "EST5:60", "EST-5:00:60", "EST 5",
          "EST5EDT,M3.2.0", "EST5EDT,M13.1.0,M11.1.0", "EST5EDT,M3.6.0,M11.1.0",
          "EST5EDT,M3.2.7,M11.1.0", "EST5EDT,J0,J365", "EST5EDT,366,0",
          "EST5EDT,M3.2.0/168,M11.1.0", "EST5EDT,M3.2.0/2:,M11.1.0", "EST5EDT,M3.2.0,M11.1.0,",
          "EST5EDT4,M3.2.0,M11.1.0x", "EST0005"}) {
        EXPECT_FALSE(PosixTimeZoneRule::parse(text)) << text;
    }
}

}  // namespace
}  // namespace tapwell

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/Calendar.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

Date utc(const char* iso) {
    Date date;
    EXPECT_TRUE(Date::parseIso8601(iso, date)) << iso;
    return date;
}

Calendar zone(const char* id) {
    auto calendar = Calendar::inZone(id);
    EXPECT_TRUE(calendar.has_value()) << id;
    return *calendar;
}

TEST(Calendar, UnknownOrUnsafeZoneIDsGiveNoCalendar) {
    for (const char* id : {"Mars/Olympus_Mons", "", "Europe", "Europe/Berlin/", "Europe//Berlin",
                           "../zoneinfo/Europe/Berlin", "Europe/../Europe/Berlin", "zone.tab",
                           "/usr/share/zoneinfo/Europe/Berlin"}) {
        EXPECT_FALSE(Calendar::inZone(id).has_value()) << id;
    }
    EXPECT_TRUE(Calendar::inZone("Etc/UTC").has_value());
    // UTC is at hand without the database too.
    test::ScopedEnv folder("TZDIR", "/nonexistent");
    EXPECT_TRUE(Calendar::inZone("UTC").has_value());
    EXPECT_FALSE(Calendar::inZone("Europe/Berlin").has_value());
}

TEST(Calendar, DayIDAndHourFollowTheZone) {
    const Date moment = utc("2024-03-05T23:30:00Z");
    EXPECT_EQ(zone("UTC").dayID(moment), "2024-03-05");
    EXPECT_EQ(zone("Asia/Tokyo").dayID(moment), "2024-03-06");
    EXPECT_EQ(zone("Asia/Tokyo").hour(moment), 8);
    EXPECT_EQ(zone("America/Los_Angeles").dayID(moment), "2024-03-05");
    EXPECT_EQ(zone("America/Los_Angeles").minuteOfDay(moment), 15 * 60 + 30);
    EXPECT_EQ(zone("UTC").dayID(utc("0999-01-02T00:00:00Z")), "0999-01-02");  // padded year
}

TEST(Calendar, SkippedWallTimeMovesToTheNextValidTime) {
    const Calendar berlin = zone("Europe/Berlin");
    const auto skipped = berlin.dateOnDay(utc("2024-03-31T12:00:00Z"), 2, 30);
    ASSERT_TRUE(skipped);
    EXPECT_EQ(*skipped, utc("2024-03-31T01:00:00Z"));  // 03:00 CEST, the first valid moment
    const auto newYork = zone("America/New_York").dateOnDay(utc("2024-03-10T17:00:00Z"), 2, 15);
    ASSERT_TRUE(newYork);
    EXPECT_EQ(*newYork, utc("2024-03-10T07:00:00Z"));  // 03:00 EDT
}

TEST(Calendar, RepeatedWallTimeTakesTheFirstOccurrence) {
    const Calendar newYork = zone("America/New_York");
    const auto repeated = newYork.dateOnDay(utc("2024-11-03T15:00:00Z"), 1, 30);
    ASSERT_TRUE(repeated);
    EXPECT_EQ(*repeated, utc("2024-11-03T05:30:00Z"));  // 01:30 EDT, before the fall-back
    const Calendar berlin = zone("Europe/Berlin");
    const auto berlinRepeated = berlin.dateOnDay(utc("2024-10-27T12:00:00Z"), 2, 30);
    ASSERT_TRUE(berlinRepeated);
    EXPECT_EQ(*berlinRepeated, utc("2024-10-27T00:30:00Z"));  // 02:30 CEST
}

TEST(Calendar, DateOnDayRejectsImpossibleWallTimes) {
    const Calendar calendar = zone("UTC");
    const Date day = utc("2024-01-01T12:00:00Z");
    EXPECT_FALSE(calendar.dateOnDay(day, 24, 0));
    EXPECT_FALSE(calendar.dateOnDay(day, -1, 0));
    EXPECT_FALSE(calendar.dateOnDay(day, 10, 60));
    EXPECT_EQ(calendar.dateOnDay(day, 18, 30), utc("2024-01-01T18:30:00Z"));
}

TEST(Calendar, StartOfDayFromDayID) {
    const Calendar tokyo = zone("Asia/Tokyo");
    EXPECT_EQ(tokyo.startOfDay("2024-03-05"), utc("2024-03-04T15:00:00Z"));
    EXPECT_FALSE(tokyo.startOfDay("2024-02-30"));
    EXPECT_FALSE(tokyo.startOfDay("2024-3-05"));
    EXPECT_FALSE(tokyo.startOfDay("2024-03-05T"));
    EXPECT_FALSE(tokyo.startOfDay("abcd-ef-gh"));
    EXPECT_TRUE(tokyo.startOfDay("2024-02-29"));
}

TEST(Calendar, CopiesAreIndependentAndKeepTheirZone) {
    const Calendar tokyo = zone("Asia/Tokyo");
    Calendar copy = tokyo;
    EXPECT_TRUE(copy.sameTimeZone(tokyo));
    copy = zone("UTC");
    EXPECT_FALSE(copy.sameTimeZone(tokyo));
    EXPECT_EQ(tokyo.timeZoneID(), "Asia/Tokyo");
    EXPECT_EQ(copy.timeZoneID(), "UTC");
}

TEST(Calendar, HostZoneIsDetectedAgainOnceASecondHasPassed) {
    Calendar::HostZone host;
    {
        test::ScopedEnv tz("TZ", "Asia/Kolkata");
        EXPECT_EQ(host.current(100.0).timeZoneID(), "Asia/Kolkata");
    }
    test::ScopedEnv tz("TZ", "America/New_York");
    EXPECT_EQ(host.zoneID(100.999), "Asia/Kolkata");
    EXPECT_EQ(host.zoneID(101.0), "America/New_York");  // the id alone is detected again too
    EXPECT_EQ(host.current(101.0).timeZoneID(), "America/New_York");
    {
        test::ScopedEnv other("TZ", "Europe/Berlin");
        EXPECT_EQ(host.current(101.5).timeZoneID(), "America/New_York");
        EXPECT_EQ(host.current(50.0).timeZoneID(), "Europe/Berlin");  // a clock that went back
    }
}

TEST(Calendar, HostZoneServesSeveralThreadsAtOnce) {
    // Every service queue asks the one host zone; detection runs again while others read it.
    test::ScopedEnv tz("TZ", "Asia/Kolkata");
    Calendar::HostZone host;
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                const double uptime = (t + i) * 0.7;
                const Calendar calendar = host.current(uptime);
                if (calendar.timeZoneID() != "Asia/Kolkata" ||
                    host.zoneID(uptime) != "Asia/Kolkata" ||
                    calendar.minuteOfDay(utc("2024-07-01T12:00:00Z")) != 17 * 60 + 30) {
                    ++wrong;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, 0);
}

// A database of its own with a few real zones, a damaged one, and files elsewhere.
class HostZoneDetection : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* id : {"Europe/Berlin", "Asia/Kolkata"}) {
            copy(std::filesystem::path("/usr/share/zoneinfo") / id, zoneinfo / id);
        }
        dir.write("zoneinfo/Broken/Zone", "TZif2 and nothing else");
        copy("/usr/share/zoneinfo/Asia/Kolkata", dir / "elsewhere/kolkata");
        copy("/usr/share/zoneinfo/Etc/GMT-3", dir / "elsewhere/plus3");
        dir.write("elsewhere/broken", std::string(100, 'x'));
    }

    static void copy(const std::filesystem::path& from, const std::filesystem::path& to) {
        std::filesystem::create_directories(to.parent_path());
        std::filesystem::copy_file(from, to);
    }

    std::string detect(const std::filesystem::path& localtime) {
        Calendar::HostZone host(localtime);
        return host.current(0.0).timeZoneID();
    }

    test::TempDir dir;
    const std::filesystem::path zoneinfo = dir / "zoneinfo";
    test::ScopedEnv folder{"TZDIR", zoneinfo.c_str()};
};

TEST_F(HostZoneDetection, TakesTheZoneThatTZNames) {
    const std::string elsewhere = (dir / "elsewhere").string();
    const std::string rule = "CET-1CEST,M3.5.0,M10.5.0/3";
    struct Case {
        std::string tz;
        std::string id;
        int hourAtNoonUTC;
    };
    const Case cases[] = {
        {"Asia/Kolkata", "Asia/Kolkata", 17},
        {":Asia/Kolkata", "Asia/Kolkata", 17},
        {"posix/Asia/Kolkata", "Asia/Kolkata", 17},
        {(zoneinfo / "Europe/Berlin").string(), "Europe/Berlin", 14},
        {elsewhere + "/kolkata", "Asia/Kolkata", 17},  // a copy, found by its contents
        {elsewhere + "/plus3", elsewhere + "/plus3", 15},
        {rule, rule, 14},
        // Unreadable, unknown or unsafe: UTC.
        {"", "UTC", 12},
        {"Mars/Olympus_Mons", "UTC", 12},
        {":" + rule, "UTC", 12},
        {"../zoneinfo/Asia/Kolkata", "UTC", 12},
        {"Broken/Zone", "UTC", 12},
        {elsewhere + "/broken", "UTC", 12},
        {elsewhere + "/missing", "UTC", 12},
    };
    const Date julyNoon = utc("2024-07-01T12:00:00Z");
    for (const Case& c : cases) {
        test::ScopedEnv variable("TZ", c.tz.c_str());
        Calendar::HostZone host(dir / "no-localtime");
        const Calendar calendar = host.current(0.0);
        EXPECT_EQ(calendar.timeZoneID(), c.id) << c.tz;
        EXPECT_EQ(host.zoneID(0.5), c.id) << c.tz;
        EXPECT_EQ(calendar.hour(julyNoon), c.hourAtNoonUTC) << c.tz;
    }
}

TEST_F(HostZoneDetection, WithoutTZTakesTheLocalTimeFile) {
    test::ScopedEnv variable("TZ", nullptr);
    const auto link = dir / "link";
    std::filesystem::create_symlink(zoneinfo / "Europe/Berlin", link);
    EXPECT_EQ(detect(link), "Europe/Berlin");
    EXPECT_EQ(detect(dir / "elsewhere/kolkata"), "Asia/Kolkata");
    EXPECT_EQ(detect(dir / "elsewhere/broken"), "UTC");
    EXPECT_EQ(detect(dir / "missing"), "UTC");
}

TEST(Date, ReferenceDateAndIsoRoundTrip) {
    EXPECT_EQ(Date{}.iso8601(), "2001-01-01T00:00:00.000Z");
    EXPECT_EQ(Date::fromUnix(0).secondsSinceReferenceDate, -978307200.0);
    const Date d = utc("2026-12-06T09:30:15.250Z");
    EXPECT_EQ(d.iso8601(), "2026-12-06T09:30:15.250Z");
    EXPECT_EQ(utc("2026-12-06T10:30:15.250+01:00"), d);
    EXPECT_EQ(utc("2026-12-06"), utc("2026-12-06T00:00:00Z"));
}

TEST(Date, RejectsMalformedIso) {
    Date d;
    for (const char* text :
         {"", "2026", "2026-13-01", "2026-12-06T25:00:00Z", "2026-12-06T10:00:00",
          "2026-12-06T10:00:00Zjunk", "2026-12-06T10:00:00.Z", "2026-12-06T10:00:00+1"}) {
        EXPECT_FALSE(Date::parseIso8601(text, d)) << text;
    }
}

}  // namespace
}  // namespace tapwell

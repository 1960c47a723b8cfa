#include "stats/StatsPersistence.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <ostream>
#include <regex>
#include <set>

#include "support/TempDir.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> quarantinedFiles(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (StatsPersistence::isQuarantineName(name)) {
            names.push_back(name);
        }
    }
    return names;
}

DailyStats sample() {
    DailyStats stats = DailyStats::empty("2024-03-05");
    stats.keystrokes = 1234;
    stats.hourly[9] = 1000;
    stats.hourly[23] = 234;
    stats.topKpm = 384;
    stats.focusSeconds = 1830.25;
    stats.breaks = 2;
    return stats;
}

TEST(StatsPersistence, WritesOneSortedLine) {
    test::TempDir dir;
    StatsPersistence persistence(dir.path());
    ASSERT_FALSE(persistence.save(sample()));
    EXPECT_EQ(dir.read("2024-03-05.json"),
              R"({"breaks":2,"date":"2024-03-05","focusSeconds":1830.25,)"
              R"("hourly":[0,0,0,0,0,0,0,0,0,1000,0,0,0,0,0,0,0,0,0,0,0,0,0,234],)"
              R"("keystrokes":1234,"topKpm":384})");
}

TEST(StatsPersistence, RoundTripsAwkwardFocusValues) {
    test::TempDir dir;
    StatsPersistence persistence(dir.path());
    for (double focus : {0.0, 0.1, 1.0 / 3.0, 86399.999999, 1e-300}) {
        DailyStats stats = sample();
        stats.focusSeconds = focus;
        ASSERT_FALSE(persistence.save(stats));
        auto loaded = persistence.load("2024-03-05");
        ASSERT_TRUE(loaded.has_value());
        ASSERT_TRUE(loaded->has_value());
        EXPECT_EQ(**loaded, stats) << focus;
    }
}

TEST(StatsPersistence, SaveCreatesMissingFolders) {
    test::TempDir dir;
    StatsPersistence persistence(dir / "a/b/stats");
    ASSERT_FALSE(persistence.save(sample()));
    EXPECT_TRUE(fs::exists(dir / "a/b/stats/2024-03-05.json"));
}

TEST(StatsPersistence, FoldersAndFilesAreTheOwnersOnly) {
    test::TempDir dir;
    StatsPersistence persistence(dir / "a/stats");
    ASSERT_FALSE(persistence.save(sample()));
    for (const fs::path& folder : {dir / "a", dir / "a/stats"}) {
        EXPECT_EQ(fs::status(folder).permissions() & fs::perms::mask, fs::perms::owner_all)
            << folder;
    }
    EXPECT_EQ(fs::status(persistence.fileFor("2024-03-05")).permissions() & fs::perms::mask,
              fs::perms::owner_read | fs::perms::owner_write);
}

// A day file cut short at any length (a full disk, a crash of another writer) is never read as
// a smaller day and never lost: it goes aside whole, and the caller learns where.
TEST(StatsPersistence, EveryTruncationGoesAsideWhole) {
    test::TempDir dir;
    StatsPersistence persistence(dir.path());
    const std::string whole = StatsPersistence::encode(sample());
    for (std::size_t length = 0; length < whole.size(); ++length) {
        const std::string cut = whole.substr(0, length);
        dir.write("2024-03-05.json", cut);
        fs::path aside;
        auto loaded = persistence.load("2024-03-05", &aside);
        ASSERT_TRUE(loaded.has_value()) << length;
        EXPECT_FALSE(loaded->has_value()) << length;
        ASSERT_FALSE(aside.empty()) << length;
        EXPECT_EQ(aside.parent_path(), dir.path());
        EXPECT_EQ(dir.read(aside.filename().string()), cut) << length;
        EXPECT_FALSE(fs::exists(persistence.fileFor("2024-03-05")));
        fs::remove(aside);
    }
    dir.write("2024-03-05.json", whole);
    fs::path aside;
    auto loaded = persistence.load("2024-03-05", &aside);
    ASSERT_TRUE(loaded.has_value() && loaded->has_value());
    EXPECT_EQ(**loaded, sample());
    EXPECT_TRUE(aside.empty());
    EXPECT_TRUE(persistence.quarantinedFiles().empty());
}

TEST(StatsPersistence, SaveFailsWhenFolderCannotBeMade) {
    test::TempDir dir;
    dir.write("blocker", "a file where the folder should be");
    StatsPersistence persistence(dir / "blocker/stats");
    EXPECT_TRUE(persistence.save(sample()).has_value());
}

TEST(StatsPersistence, RefusesDayNamesOutsideTheFolder) {
    test::TempDir dir;
    StatsPersistence persistence(dir / "stats");
    DailyStats stats = sample();
    stats.date = "../escape";
    EXPECT_TRUE(persistence.save(stats).has_value());
    EXPECT_FALSE(fs::exists(dir / "escape.json"));
    EXPECT_FALSE(persistence.load("../escape").has_value());
}

TEST(StatsPersistence, MissingFileLoadsNothingAndCreatesNoFolder) {
    test::TempDir dir;
    StatsPersistence persistence(dir / "stats");
    auto loaded = persistence.load("2024-03-05");
    ASSERT_TRUE(loaded.has_value());
    EXPECT_FALSE(loaded->has_value());
    EXPECT_FALSE(fs::exists(dir / "stats"));
}

TEST(StatsPersistence, DecodeIgnoresExtraKeysAndAcceptsWholeNumbers) {
    auto stats = StatsPersistence::decode(
        R"({"extra":[1,2],"breaks":1.0,"date":"2024-03-05","focusSeconds":3,)"
        R"("hourly":[0,0,0,0,0,0,0,0,0,2,0,0,0,0,0,0,0,0,0,0,0,0,0,0],"keystrokes":2,"topKpm":24})");
    ASSERT_TRUE(stats.has_value());
    EXPECT_EQ(stats->breaks, 1);
    EXPECT_EQ(stats->focusSeconds, 3.0);
    EXPECT_TRUE(stats->isValid());
}

struct Damage {
    const char* name;
    std::string contents;
};
void PrintTo(const Damage& damage, std::ostream* out) {
    *out << damage.name;
}

std::string withHourly(const std::string& hourly, const std::string& rest) {
    return R"({"breaks":0,"date":"2024-03-05","focusSeconds":0,"hourly":)" + hourly + rest;
}
const std::string zeros24 = "[0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]";
const std::string tenAt3 = "[0,0,0,10,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]";

class StatsPersistenceDamage : public ::testing::TestWithParam<Damage> {};

TEST_P(StatsPersistenceDamage, QuarantinesAndLoadsNothing) {
    test::TempDir dir;
    StatsPersistence persistence(dir.path());
    dir.write("2024-03-05.json", GetParam().contents);
    auto loaded = persistence.load("2024-03-05");
    ASSERT_TRUE(loaded.has_value());
    EXPECT_FALSE(loaded->has_value());
    EXPECT_FALSE(fs::exists(dir / "2024-03-05.json"));
    const auto aside = quarantinedFiles(dir.path());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_TRUE(std::regex_match(
        aside[0], std::regex(R"(2024-03-05\.corrupt-[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-)"
                             R"([89AB][0-9A-F]{3}-[0-9A-F]{12}\.json)")))
        << aside[0];
    EXPECT_EQ(dir.read(aside[0]), GetParam().contents) << "the damaged bytes are kept";
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, StatsPersistenceDamage,
    ::testing::Values(
        Damage{"Empty", ""}, Damage{"NotJson", "{\"breaks\":0,"}, Damage{"Array", "[]"},
        Damage{"Binary", std::string("\0\xff\x01", 3)},
        Damage{"MissingBreaks", R"({"date":"2024-03-05","focusSeconds":0,"hourly":)" + zeros24 +
                                    R"(,"keystrokes":0,"topKpm":0})"},
        Damage{"DateIsNumber", R"({"breaks":0,"date":20240305,"focusSeconds":0,"hourly":)" +
                                   zeros24 + R"(,"keystrokes":0,"topKpm":0})"},
        Damage{"OtherDay", R"({"breaks":0,"date":"2024-03-04","focusSeconds":0,"hourly":)" +
                               zeros24 + R"(,"keystrokes":0,"topKpm":0})"},
        Damage{"SumDiffers", withHourly(tenAt3, R"(,"keystrokes":11,"topKpm":0})")},
        Damage{"Hours23", withHourly("[0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]",
                                     R"(,"keystrokes":0,"topKpm":0})")},
        Damage{"NegativeHour", withHourly("[-1,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]",
                                          R"(,"keystrokes":0,"topKpm":0})")},
        Damage{"FractionalCount", withHourly(zeros24, R"(,"keystrokes":0.5,"topKpm":0})")},
        Damage{"HugeCount",
               withHourly(zeros24, R"(,"keystrokes":18446744073709551615,"topKpm":0})")},
        Damage{"NegativeFocus", R"({"breaks":0,"date":"2024-03-05","focusSeconds":-1,"hourly":)" +
                                    zeros24 + R"(,"keystrokes":0,"topKpm":0})"},
        Damage{"AbsurdFocus", R"({"breaks":0,"date":"2024-03-05","focusSeconds":1e300,"hourly":)" +
                                  zeros24 + R"(,"keystrokes":0,"topKpm":0})"},
        Damage{"NegativeBreaks", R"({"breaks":-2,"date":"2024-03-05","focusSeconds":0,"hourly":)" +
                                     zeros24 + R"(,"keystrokes":0,"topKpm":0})"},
        Damage{"HourlyNull", withHourly("null", R"(,"keystrokes":0,"topKpm":0})")},
        Damage{"TextHour", withHourly("[\"0\",0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]",
                                      R"(,"keystrokes":0,"topKpm":0})")}),
    [](const ::testing::TestParamInfo<Damage>& param) { return std::string(param.param.name); });

TEST(StatsPersistence, FolderInPlaceOfDayFileIsMovedAside) {
    test::TempDir dir;
    fs::create_directories(dir / "2024-03-05.json");
    StatsPersistence persistence(dir.path());
    auto loaded = persistence.load("2024-03-05");
    ASSERT_TRUE(loaded.has_value());
    EXPECT_FALSE(loaded->has_value());
    EXPECT_EQ(quarantinedFiles(dir.path()).size(), 1u);
}

TEST(StatsPersistence, EachDamagedLoadGetsItsOwnName) {
    test::TempDir dir;
    StatsPersistence persistence(dir.path());
    dir.write("2024-03-05.json", "garbage");
    ASSERT_TRUE(persistence.load("2024-03-05").has_value());
    dir.write("2024-03-05.json", "garbage again");
    ASSERT_TRUE(persistence.load("2024-03-05").has_value());
    const auto aside = quarantinedFiles(dir.path());
    ASSERT_EQ(aside.size(), 2u);
    EXPECT_NE(aside[0], aside[1]);
}

TEST(StatsPersistence, ExportIsIndentedArrayWithSortedKeys) {
    EXPECT_EQ(nlohmann::json::parse(StatsPersistence::encodeExport({})), nlohmann::json::array());
    DailyStats other = DailyStats::empty("2024-03-06");
    const std::string text = StatsPersistence::encodeExport({sample(), other});
    EXPECT_NE(text.find("\n  {\n    \"breaks\": 2,\n    \"date\": \"2024-03-05\""),
              std::string::npos)
        << text;
    const auto parsed = nlohmann::json::parse(text);
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[1]["date"], "2024-03-06");
    EXPECT_EQ(StatsPersistence::decode(parsed[0].dump()), sample());
}

}  // namespace
}  // namespace tapwell

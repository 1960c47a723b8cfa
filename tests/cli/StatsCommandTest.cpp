#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "CliRun.h"
#include "cli/Cli.h"
#include "core/Calendar.h"
#include "core/Clock.h"
#include "core/UserDefaults.h"
#include "core/UserInstance.h"
#include "stats/StatsPersistence.h"
#include "support/TempDir.h"
#include "themes/ThemeFixture.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::ScopedEnv;
using test::TempDir;

// Every folder the commands touch lives in one temporary folder: data, settings, resources.
class StatsCommandTest : public ::testing::Test {
  protected:
    TempDir dir;
    ScopedEnv data{"XDG_DATA_HOME", (dir / "data").c_str()};
    ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").c_str()};
    ScopedEnv resourcesEnv{"TAPWELL_RESOURCE_DIR", (dir / "resources").c_str()};
    // Never the user's running Tapwell: a deletion would reach it.
    ScopedEnv runtime{"XDG_RUNTIME_DIR", dir.path().c_str()};
    fs::path statsFolder = dir / "data/Tapwell/stats";
    std::string today = Calendar::current().dayID(SystemClock::shared().now());

    void SetUp() override {
        fs::create_directories(dir / "resources");
        // The shipped texts of the command line, with short recap texts of the test's own.
        for (const std::string language : {"en", "ja"}) {
            const std::string table = "/" + language + ".lproj/Localizable.json";
            std::ifstream shipped(std::string(TAPWELL_SOURCE_RESOURCE_DIR) + table);
            json texts = json::parse(shipped);
            texts.update(json::parse(
                R"({"recap.keystrokesToday": "keystrokes today", "recap.topSpeed": "Top speed",)"
                R"( "recap.words": "Words", "recap.travel": "Key travel", "recap.breaks": "Breaks",)"
                R"( "recap.footer.brand": "Made with Tapwell", "recap.footer.privacy": "Counts only.",)"
                R"( "recap.words.divisor": "5", "unit.keysPerMinute.value": "{1} keys/min"})"));
            dir.write("resources" + table, texts.dump());
        }
    }

    void addTheme(const std::string& id, bool isDefault = false) {
        json manifest = test::validManifest(id);
        manifest["isDefault"] = isDefault;
        test::writeTheme(dir / "resources", id, manifest);
    }

    void writeDay(const std::string& day, std::int64_t keystrokes, std::int64_t topKpm = 0) {
        DailyStats stats = DailyStats::empty(day);
        stats.keystrokes = keystrokes;
        stats.hourly[14] = keystrokes;
        stats.topKpm = topKpm;
        stats.focusSeconds = 3725.0;
        stats.breaks = 1;
        dir.write("data/Tapwell/stats/" + day + ".json", StatsPersistence::encode(stats));
    }

    using Result = test::CliResult;
    static Result run(const std::vector<std::string>& args) { return test::runCli(args); }
};

TEST_F(StatsCommandTest, JsonShowsTodayWithRankOfSelectedTheme) {
    addTheme("amber");
    addTheme("glass", true);
    writeDay(today, 2500, 240);
    const Result result = run({"stats", "--json"});
    ASSERT_EQ(result.status, 0) << result.err;
    const json object = json::parse(result.out);
    EXPECT_EQ(object["date"], today);
    EXPECT_EQ(object["keystrokes"], 2500);
    EXPECT_EQ(object["hourly"][14], 2500);
    EXPECT_EQ(object["hourly"].size(), 24u);
    EXPECT_EQ(object["topKpm"], 240);
    EXPECT_EQ(object["kpm"], 0);
    EXPECT_EQ(object["focusSeconds"], 3725.0);
    EXPECT_EQ(object["breaks"], 1);
    EXPECT_EQ(object["rank"], 1);
    EXPECT_EQ(object["rankName"], "R1");
    EXPECT_EQ(object["toNextRank"], 5500);
}

TEST_F(StatsCommandTest, RankNameFollowsLanguageAndThemeChoice) {
    addTheme("amber");
    addTheme("glass", true);
    json named = test::validManifest("zeta");
    named["ranks"]["ja"] = {"零", "一", "二", "三", "四", "五"};
    test::writeTheme(dir / "resources", "zeta", named);
    UserDefaults defaults(UserDefaults::standardPath());
    defaults.set("appLanguage", std::string("ja"));
    defaults.set("themeID", std::string("zeta"));
    ASSERT_FALSE(defaults.flush());
    writeDay(today, 80000);
    const json object = json::parse(run({"stats", "--json"}).out);
    EXPECT_EQ(object["rankName"], "五");
    EXPECT_TRUE(object["toNextRank"].is_null());
    EXPECT_EQ(object["rankProgress"], 1.0);
}

TEST_F(StatsCommandTest, TextSummaryWithoutThemeAndWithoutWriting) {
    writeDay(today, 12);
    const std::string before = dir.read("data/Tapwell/stats/" + today + ".json");
    const Result result = run({"stats"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("Keystrokes: 12\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Focus time: 1h 02m 05s\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Rank: - (0 of 5)\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("To next rank: 1,988 keystrokes\n"), std::string::npos);
    EXPECT_NE(result.out.find("  14:00  12\n"), std::string::npos) << result.out;
    EXPECT_EQ(dir.read("data/Tapwell/stats/" + today + ".json"), before);
}

TEST_F(StatsCommandTest, TextSummaryFollowsTheChosenLanguage) {
    UserDefaults defaults(UserDefaults::standardPath());
    defaults.set("appLanguage", std::string("ja"));
    ASSERT_FALSE(defaults.flush());
    writeDay(today, 1);
    const Result result = run({"stats"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("キー入力：1回\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("集中した時間：1時間02分05秒\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("Keystrokes"), std::string::npos) << result.out;
    const Result refused = run({"stats", "delete"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("tapwell stats delete --yes"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("完全に削除"), std::string::npos) << refused.err;
}

TEST_F(StatsCommandTest, ReadingCreatesNoFiles) {
    ASSERT_EQ(run({"stats"}).status, 0);
    EXPECT_FALSE(fs::exists(statsFolder));
}

TEST_F(StatsCommandTest, ExportWritesEveryDaySorted) {
    writeDay("2024-03-05", 5);
    writeDay("2024-01-02", 7);
    const fs::path out = dir / "Tapwell-stats.json";
    const Result result = run({"stats", "export", out.string()});
    ASSERT_EQ(result.status, 0) << result.err;
    const json exported = json::parse(dir.read("Tapwell-stats.json"));
    ASSERT_EQ(exported.size(), 2u);
    EXPECT_EQ(exported[0]["date"], "2024-01-02");
    EXPECT_EQ(exported[1]["keystrokes"], 5);
}

TEST_F(StatsCommandTest, ExportFailsOnInvalidDayAndWritesNothing) {
    writeDay("2024-03-05", 5);
    dir.write("data/Tapwell/stats/2024-03-06.json", R"({"date":"2024-03-06"})");
    const fs::path out = dir / "Tapwell-stats.json";
    const Result result = run({"stats", "export", out.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("2024-03-06.json"), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(fs::exists(statsFolder / "2024-03-06.json")) << "the export moves nothing";
    EXPECT_NE(run({"stats", "export"}).status, 0) << "an export needs a file";
}

// Reading today moves a damaged file aside; the user reads where it went, and the export says
// which set-aside files it leaves out.
TEST_F(StatsCommandTest, ADamagedDayIsToldWhereItWentAndTheExportSaysItIsLeftOut) {
    dir.write("data/Tapwell/stats/" + today + ".json", "{\"date\":");
    const Result shown = run({"stats"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.out.find("Keystrokes: 0\n"), std::string::npos) << shown.out;
    const auto aside = StatsPersistence(statsFolder).quarantinedFiles();
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_NE(shown.err.find("statistics file of " + today + " was damaged; it is kept as " +
                             aside[0].string()),
              std::string::npos)
        << shown.err;
    EXPECT_EQ(run({"stats"}).err.find("damaged"), std::string::npos) << "told once";

    const Result exported = run({"stats", "export", (dir / "out.json").string()});
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_NE(exported.err.find("1 damaged day file was set aside earlier and is not in the "
                                "export:\n  " +
                                aside[0].string()),
              std::string::npos)
        << exported.err;
}

TEST_F(StatsCommandTest, DeleteNeedsConfirmation) {
    writeDay("2024-03-05", 5);
    const Result refused = run({"stats", "delete"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("--yes"), std::string::npos);
    EXPECT_TRUE(fs::exists(statsFolder / "2024-03-05.json"));

    const Result done = run({"stats", "delete", "--yes"});
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_FALSE(fs::exists(statsFolder));
}

TEST_F(StatsCommandTest, ExportAndDeleteGoThroughTheRunningTapwell) {
    writeDay("2024-03-05", 5);
    auto running = UserInstance::reachOrClaim(UserInstance::defaultFolder(), {});
    ASSERT_TRUE(running.owned);
    std::vector<InstanceRequest> received;  // the handler runs while the command waits
    ASSERT_FALSE(running.owned->serve([&](const InstanceRequest& r, UserInstance::Respond respond) {
        received.push_back(r);
        respond(InstanceReply{r.kind == InstanceRequest::Kind::exportStats
                                  ? std::optional<std::string>("read-only folder")
                                  : std::nullopt});
    }));

    const Result deleted = run({"stats", "delete", "--yes"});
    EXPECT_EQ(deleted.status, 0) << deleted.err;
    EXPECT_NE(deleted.out.find("through the running Tapwell"), std::string::npos);
    EXPECT_TRUE(fs::exists(statsFolder / "2024-03-05.json")) << "the program deletes, not we";

    const Result exported = run({"stats", "export", "relative.json"});
    EXPECT_EQ(exported.status, 1);
    EXPECT_NE(exported.err.find("read-only folder"), std::string::npos);
    running.owned.reset();

    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].kind, InstanceRequest::Kind::deleteStats);
    EXPECT_EQ(received[1].file, fs::current_path() / "relative.json");
}

TEST_F(StatsCommandTest, RecapOfAGivenDay) {
    addTheme("glass", true);
    writeDay("2024-03-05", 12345, 420);
    const Result result = run({"recap", "--json", "--date", "2024-03-05"});
    ASSERT_EQ(result.status, 0) << result.err;
    const json object = json::parse(result.out);
    EXPECT_EQ(object["day"], "2024-03-05");
    EXPECT_EQ(object["themeName"], "Glass");
    EXPECT_EQ(object["rank"], "R2");
    EXPECT_EQ(object["count"], "12,345");
    EXPECT_EQ(object["countLabel"], "keystrokes today");
    EXPECT_EQ(object["quip"], json::array({"Nice", "work"})) << "two quips: rank 2 uses the first";
    EXPECT_EQ(object["stats"][0]["value"], "420 keys/min");
    EXPECT_EQ(object["stats"][1]["value"], "2,469");
    EXPECT_EQ(object["stats"][2]["value"], "49.4 m");
    EXPECT_EQ(object["stats"][3]["value"], "1");
    EXPECT_EQ(object["background"], "#000000");
    EXPECT_EQ(object["fileName"], "Tapwell-Recap-2024-03-05.png");
    EXPECT_NE(object["date"].get<std::string>().find("2024"), std::string::npos);
}

TEST_F(StatsCommandTest, RecapTextOfToday) {
    addTheme("glass", true);
    writeDay(today, 3);
    const Result result = run({"recap"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("3 keystrokes today\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Key travel: 0 m\n"), std::string::npos) << result.out;
}

TEST_F(StatsCommandTest, RecapRefusesBadDatesAndMissingTheme) {
    addTheme("glass", true);
    EXPECT_EQ(run({"recap", "--date", "2024-02-30"}).status, 1);
    EXPECT_EQ(run({"recap", "--date", "05.03.2024"}).status, 1);
    fs::remove_all(dir / "resources/glass");
    const Result result = run({"recap", "--date", "2024-03-05"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("no theme"), std::string::npos) << result.err;
}

TEST_F(StatsCommandTest, RecapReportsDamagedDayAndLeavesIt) {
    addTheme("glass", true);
    dir.write("data/Tapwell/stats/2024-03-05.json", "{oops");
    const Result result = run({"recap", "--date", "2024-03-05"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("damaged"), std::string::npos) << result.err;
    EXPECT_EQ(dir.read("data/Tapwell/stats/2024-03-05.json"), "{oops");
}

}  // namespace
}  // namespace tapwell

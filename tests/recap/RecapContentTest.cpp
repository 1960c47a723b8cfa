#include "recap/RecapContent.h"

#include <gtest/gtest.h>

#include <string>

#include "support/TempDir.h"

namespace tapwell {
namespace {

// String tables written for the test, so that each case controls the texts it depends on.
class RecapContentTest : public ::testing::Test {
  protected:
    test::TempDir resources;
    Calendar utc = *Calendar::inZone("UTC");

    void writeTables(const std::string& divisor) {
        resources.write("en.lproj/Localizable.json",
                        R"({"recap.keystrokesToday": "keystrokes today",)"
                        R"( "recap.topSpeed": "Top speed", "recap.words": "Words",)"
                        R"( "recap.travel": "Key travel", "recap.breaks": "Breaks",)"
                        R"( "recap.footer.brand": "Made with Tapwell",)"
                        R"( "recap.footer.privacy": "Only counts.",)"
                        R"( "recap.words.divisor": ")" +
                            divisor + R"(", "unit.keysPerMinute.value": "{1} keys/min"})");
        resources.write("ja.lproj/Localizable.json",
                        R"({"recap.keystrokesToday": "今日のキー入力",)"
                        R"( "recap.words.divisor": "2"})");
    }

    Localization english(const std::string& divisor = "5") {
        writeTables(divisor);
        return Localization(std::string_view("en"), resources.path());
    }

    static Theme theme() {
        Theme theme;
        theme.id = "mellow";
        theme.name = {{"en", "Mellow"}, {"ja", "メロウ"}};
        theme.ranks = {{"en", {"Pebble", "Stone", "Rock", "Boulder", "Hill", "Mountain"}}};
        theme.recapQuips = {{"en", {{"Quiet day."}, {"Warming up.", "Nice."}, {"Rolling."}}}};
        theme.colors.recap = {"#101010", "#F0F0F0", "#808080", "#FF8800"};
        theme.recapNumberFont = "Menlo";
        return theme;
    }

    static DailyStats day(std::int64_t keystrokes) {
        DailyStats stats = DailyStats::empty("2024-03-05");
        stats.keystrokes = keystrokes;
        stats.hourly[10] = keystrokes;
        return stats;
    }

    Date midnight() { return *utc.startOfDay("2024-03-05"); }
};

TEST_F(RecapContentTest, FillsEveryFieldForEnglish) {
    DailyStats stats = day(12345);
    stats.topKpm = 420;
    stats.breaks = 3;
    const RecapContent content = RecapContent::make(stats, theme(), english(), midnight(), utc);
    EXPECT_EQ(content.date, "Tue, Mar 5, 2024");
    EXPECT_EQ(content.themeName, "Mellow");
    EXPECT_EQ(content.rank, "Rock");
    EXPECT_EQ(content.count, "12,345");
    EXPECT_EQ(content.countLabel, "keystrokes today");
    EXPECT_EQ(content.quip, std::vector<std::string>{"Rolling."});
    const std::vector<RecapContent::Stat> expected{{"Top speed", "420 keys/min"},
                                                   {"Words", "2,469"},
                                                   {"Key travel", "49.4 m"},
                                                   {"Breaks", "3"}};
    EXPECT_EQ(content.stats, expected);
    EXPECT_EQ(content.brand, "Made with Tapwell");
    EXPECT_EQ(content.privacy, "Only counts.");
    EXPECT_EQ(content.background, "#101010");
    EXPECT_EQ(content.text, "#F0F0F0");
    EXPECT_EQ(content.secondary, "#808080");
    EXPECT_EQ(content.accent, "#FF8800");
    EXPECT_EQ(content.numberFont, "Menlo");
}

TEST_F(RecapContentTest, RankBoundaryPicksNameAndQuip) {
    const Localization localization = english();
    const RecapContent below = RecapContent::make(day(1999), theme(), localization, midnight());
    EXPECT_EQ(below.rank, "Pebble");
    EXPECT_EQ(below.quip, std::vector<std::string>{"Quiet day."});
    const RecapContent at = RecapContent::make(day(2000), theme(), localization, midnight());
    EXPECT_EQ(at.rank, "Stone");
    EXPECT_EQ(at.quip, (std::vector<std::string>{"Warming up.", "Nice."}));
}

TEST_F(RecapContentTest, MissingQuipFallsBackToFirstAndMissingNameToEmpty) {
    Theme shortLists = theme();
    shortLists.ranks["en"] = {"Pebble", "Stone"};
    const RecapContent content = RecapContent::make(day(45000), shortLists, english(), midnight());
    EXPECT_EQ(content.rank, "");
    EXPECT_EQ(content.quip, std::vector<std::string>{"Quiet day."});
}

TEST_F(RecapContentTest, NoQuipsAndNoNamesForAnyLanguage) {
    Theme bare = theme();
    bare.recapQuips = {{"fr", {{"Bonjour"}}}};
    bare.ranks.clear();
    bare.name = {{"de", "Sanft"}};
    bare.recapNumberFont.reset();
    const RecapContent content = RecapContent::make(day(10), bare, english(), midnight());
    EXPECT_TRUE(content.quip.empty());
    EXPECT_EQ(content.rank, "");
    EXPECT_EQ(content.themeName, "mellow");
    EXPECT_FALSE(content.numberFont.has_value());
}

TEST_F(RecapContentTest, EmptyDayStillHasFourStats) {
    const RecapContent content = RecapContent::make(day(0), theme(), english(), midnight());
    const std::vector<RecapContent::Stat> expected{
        {"Top speed", "0 keys/min"}, {"Words", "0"}, {"Key travel", "0 m"}, {"Breaks", "0"}};
    EXPECT_EQ(content.stats, expected);
    EXPECT_EQ(content.count, "0");
}

TEST_F(RecapContentTest, WordsUseTheLanguagesDivisor) {
    EXPECT_EQ(RecapContent::make(day(1234), theme(), english("5"), midnight()).stats[1].value,
              "246");
    struct Case {
        const char* text;
        std::int64_t divisor;
    };
    for (const Case& c :
         {Case{"5", 5}, Case{"0", 1}, Case{"-3", 1}, Case{"five", 5}, Case{"", 5}, Case{"+7", 7},
          Case{" 5", 5}, Case{"5 ", 5}, Case{"4.5", 5}, Case{"-", 5},
          Case{"99999999999999999999", 5}, Case{"9223372036854775807", 9223372036854775807},
          Case{"-9223372036854775808", 1}}) {
        EXPECT_EQ(RecapContent::wordsDivisor(english(c.text)), c.divisor) << '"' << c.text << '"';
    }
    resources.write("en.lproj/Localizable.json", R"({"recap.words": "Words"})");  // no divisor
    EXPECT_EQ(RecapContent::wordsDivisor(Localization(std::string_view("en"), resources.path())),
              5);
}

TEST_F(RecapContentTest, JapaneseUsesItsTextsAndNamesWithEnglishFallback) {
    writeTables("5");
    const Localization japanese(std::string_view("ja"), resources.path());
    const RecapContent content = RecapContent::make(day(1000), theme(), japanese, midnight());
    EXPECT_EQ(content.countLabel, "今日のキー入力");
    EXPECT_EQ(content.themeName, "メロウ");
    EXPECT_EQ(content.rank, "Pebble") << "no Japanese rank names: the English ones";
    EXPECT_EQ(content.stats[1].value, "500") << "Japanese counts two keys per word";
    EXPECT_EQ(content.stats[0].label, "Top speed") << "a text missing in Japanese is English";
}

TEST(RecapContent, FileNameCarriesTheLocalDay) {
    const Calendar tokyo = *Calendar::inZone("Asia/Tokyo");
    const Date midnightTokyo = *tokyo.startOfDay("2024-03-05");  // 2024-03-04 15:00 UTC
    EXPECT_EQ(RecapContent::fileName(midnightTokyo, tokyo), "Tapwell-Recap-2024-03-05.png");
    EXPECT_EQ(RecapContent::fileName(midnightTokyo, *Calendar::inZone("UTC")),
              "Tapwell-Recap-2024-03-04.png");
}

}  // namespace
}  // namespace tapwell

#include "presentation/Localization.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <map>
#include <thread>
#include <vector>

#include "core/Calendar.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

using test::TempDir;

const std::filesystem::path shippedResources = TAPWELL_SOURCE_RESOURCE_DIR;

// 2024-03-05 23:40:00 UTC, a Tuesday (already Wednesday in Tokyo).
constexpr Date tuesdayLateEvening = Date::fromUnix(1709682000.0);

Calendar utc() {
    return *Calendar::inZone("UTC");
}

bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

// Every test starts and ends with English as the current language.
class LocalizationTest : public ::testing::Test {
  protected:
    void SetUp() override { Localization::store().setCode("en"); }
    void TearDown() override { Localization::store().setCode("en"); }
};

TEST_F(LocalizationTest, OnlyTheThreeExactCodesAreSupportedAndOthersReadAsEnglish) {
    for (const std::string_view code : Localization::supported) {
        EXPECT_TRUE(Localization::isSupported(code)) << code;
        EXPECT_EQ(Localization::supportedOrFallback(code), code);
    }
    for (const std::string_view other :
         {"", "fr", "de", "zh", "zh-hans", "zh_Hans", "zh-Hant", "EN", "ja "}) {
        EXPECT_FALSE(Localization::isSupported(other)) << other;
        EXPECT_EQ(Localization::supportedOrFallback(other), "en") << other;
    }
}

TEST_F(LocalizationTest, AnUnsupportedCodeFallsBackToTheCurrentLanguageAndAnExplicitOneWins) {
    EXPECT_EQ(Localization("fr", shippedResources).language(), "en");
    Localization::store().setCode("ja");
    const Localization french("fr", shippedResources);
    EXPECT_EQ(french.language(), "ja");
    EXPECT_EQ(french.localeIdentifier(), "ja");
    EXPECT_EQ(french.text("common.done"), "完了");
    EXPECT_EQ(Localization(std::nullopt, shippedResources).language(), "ja");
    EXPECT_EQ(Localization("en", shippedResources).text("common.done"), "Done");
}

TEST_F(LocalizationTest, TheCurrentLanguageStartsInEnglishAndTakesOnlySupportedCodes) {
    CurrentLanguage current;
    EXPECT_EQ(current.code(), "en");
    EXPECT_FALSE(current.setCode("de"));
    EXPECT_EQ(current.code(), "en");
    EXPECT_TRUE(current.setCode("zh-Hans"));
    EXPECT_EQ(current.code(), "zh-Hans");
    EXPECT_FALSE(current.setCode(""));
    EXPECT_EQ(current.code(), "zh-Hans");
}

TEST_F(LocalizationTest, TheCurrentLanguageIsSafeToChangeWhileOtherThreadsBuildValues) {
    std::atomic<bool> stop{false};
    std::atomic<int> unexpected{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                const Localization value(std::nullopt, shippedResources);
                if (!Localization::isSupported(value.language()) ||
                    value.text("app.name") != "Tapwell") {
                    ++unexpected;
                }
            }
        });
    }
    for (int round = 0; round < 300; ++round) {
        Localization::store().setCode(Localization::supported[round % 3]);
    }
    stop = true;
    for (auto& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(unexpected.load(), 0);
}

TEST_F(LocalizationTest, PickPrefersTheLanguageThenEnglish) {
    const std::map<std::string, std::string> names{{"en", "Night Owl"}, {"ja", "夜ふかし"}};
    EXPECT_EQ(Localization("ja", shippedResources).pick(names), "夜ふかし");
    EXPECT_EQ(Localization("zh-Hans", shippedResources).pick(names), "Night Owl");
    EXPECT_EQ(Localization("en", shippedResources).pick(names), "Night Owl");
    const std::map<std::string, std::vector<std::string>> ranks{{"en", {"Novice", "Adept"}}};
    for (const std::string_view language : Localization::supported) {
        EXPECT_EQ(Localization(language, shippedResources).pick(ranks),
                  (std::vector<std::string>{"Novice", "Adept"}))
            << language;
    }
}

TEST_F(LocalizationTest, PickGivesNothingWithoutTheLanguageOrEnglish) {
    const Localization japanese("ja", shippedResources);
    const std::map<std::string, std::vector<std::vector<std::string>>> quips{
        {"zh-Hans", {{"一", "二"}}}, {"fr", {{"un"}}}};
    EXPECT_EQ(japanese.pick(quips), std::nullopt);
    EXPECT_EQ(japanese.pick(std::map<std::string, std::string>{}), std::nullopt);
    EXPECT_EQ(japanese.pick(std::optional<std::map<std::string, std::string>>{}), std::nullopt);
    EXPECT_EQ(japanese.pick(std::optional(std::map<std::string, std::string>{{"en", "x"}})), "x");
    // An entry that is present but empty is still the language's entry.
    EXPECT_EQ(japanese.pick(std::map<std::string, std::string>{{"ja", ""}, {"en", "x"}}), "");
    EXPECT_EQ(pick(std::map<std::string, int>{{"en", 1}, {"ja", 2}}, "de"), 1);
}

TEST_F(LocalizationTest, ALanguageWithoutItsFolderReadsEnglishTextButKeepsItsLocale) {
    TempDir dir;
    dir.write("en.lproj/Localizable.json", R"({"common.done": "Done"})");
    const Localization chinese("zh-Hans", dir.path());
    EXPECT_EQ(chinese.language(), "zh-Hans");
    EXPECT_EQ(chinese.localeIdentifier(), "zh-Hans");
    EXPECT_EQ(chinese.text("common.done"), "Done");
    const std::string date = chinese.longDate(tuesdayLateEvening, utc());
    EXPECT_TRUE(contains(date, "2024年3月5日")) << date;
    EXPECT_TRUE(contains(date, "周二")) << date;
}

TEST_F(LocalizationTest, AMissingResourceFolderShowsKeysAndStillFormats) {
    TempDir dir;
    const Localization japanese("ja", dir / "missing");
    EXPECT_EQ(japanese.text("common.done"), "common.done");
    EXPECT_EQ(japanese.format("notification.rankUp.body", {std::string("5"), std::string("X")}),
              "notification.rankUp.body");
    EXPECT_EQ(japanese.groupedInteger(12345), "12,345");
    EXPECT_TRUE(contains(japanese.longDate(tuesdayLateEvening, utc()), "2024年3月5日"));
}

TEST_F(LocalizationTest, AMalformedTableFallsBackToEnglishWithoutHarm) {
    TempDir dir;
    dir.write("en.lproj/Localizable.json", R"({"common.done": "Done", "only.en": "English"})");
    dir.write("ja.lproj/Localizable.json", R"({"common.done": "完了", "common.done": "2"})");
    dir.write("zh-Hans.lproj/Localizable.json", "\xef\xbb\xbf{\"common.done\": 7}");
    const Localization japanese("ja", dir.path());
    EXPECT_EQ(japanese.language(), "ja");
    EXPECT_EQ(japanese.bundle().folder(), dir / "en.lproj");
    EXPECT_EQ(japanese.text("common.done"), "Done");
    EXPECT_EQ(japanese.shortTime(tuesdayLateEvening, utc()), "23:40");
    EXPECT_EQ(Localization("zh-Hans", dir.path()).text("only.en"), "English");
}

TEST_F(LocalizationTest, FormatWritesIntegerArgumentsWithoutGrouping) {
    TempDir dir;
    dir.write("en.lproj/Localizable.json", R"({"kpm": "{1} keys/min", "two": "{1} of {2}"})");
    const Localization english("en", dir.path());
    EXPECT_EQ(english.format("kpm", {std::int64_t{1234}}), "1234 keys/min");
    EXPECT_EQ(english.format("kpm", {std::int64_t{-5}}), "-5 keys/min");
    EXPECT_EQ(english.format("two", {std::int64_t{3}, std::string("Tapwell")}), "3 of Tapwell");
    EXPECT_EQ(english.format("two", {std::int64_t{3}}), "3 of {2}");
    EXPECT_EQ(english.format("missing.key", {std::int64_t{3}}), "missing.key");
}

TEST_F(LocalizationTest, LongDateFollowsTheLocaleAndTheTimeZone) {
    const Calendar zone = utc();
    EXPECT_EQ(Localization("en", shippedResources).longDate(tuesdayLateEvening, zone),
              "Tue, Mar 5, 2024");
    const std::string japanese =
        Localization("ja", shippedResources).longDate(tuesdayLateEvening, zone);
    EXPECT_TRUE(contains(japanese, "2024年3月5日")) << japanese;
    EXPECT_TRUE(contains(japanese, "火")) << japanese;
    const std::string chinese =
        Localization("zh-Hans", shippedResources).longDate(tuesdayLateEvening, zone);
    EXPECT_TRUE(contains(chinese, "2024年3月5日")) << chinese;
    EXPECT_TRUE(contains(chinese, "周二")) << chinese;
    // The day is the one of the calendar's time zone.
    const Calendar tokyo = *Calendar::inZone("Asia/Tokyo");
    EXPECT_EQ(Localization("en", shippedResources).longDate(tuesdayLateEvening, tokyo),
              "Wed, Mar 6, 2024");
    const Calendar honolulu = *Calendar::inZone("Pacific/Honolulu");
    EXPECT_EQ(Localization("en", shippedResources).longDate(tuesdayLateEvening, honolulu),
              "Tue, Mar 5, 2024");
}

TEST_F(LocalizationTest, MetersKeepMetresAndAtMostOneFractionDigit) {
    const Localization english("en", shippedResources);
    EXPECT_EQ(english.meters(0), "0 m");
    EXPECT_EQ(english.meters(1234 * 0.004), "4.9 m");
    EXPECT_EQ(english.meters(2500 * 0.004), "10 m");
    EXPECT_EQ(english.meters(4.96), "5 m");
    EXPECT_EQ(english.meters(0.04), "0 m");
    // Long distances stay in metres, grouped.
    EXPECT_EQ(english.meters(12345.67), "12,345.7 m");
}

TEST_F(LocalizationTest, MetersUseEachLanguagesUnit) {
    const std::string japanese = Localization("ja", shippedResources).meters(4.936);
    EXPECT_TRUE(contains(japanese, "4.9")) << japanese;
    EXPECT_TRUE(contains(japanese, "m")) << japanese;
    EXPECT_FALSE(contains(japanese, "4.93")) << japanese;
    EXPECT_EQ(Localization("zh-Hans", shippedResources).meters(4.936), "4.9米");
    EXPECT_EQ(Localization("zh-Hans", shippedResources).meters(1500), "1,500米");
}

TEST_F(LocalizationTest, GroupedIntegersUseTheLocalesSeparators) {
    for (const std::string_view language : Localization::supported) {
        const Localization value(language, shippedResources);
        EXPECT_EQ(value.groupedInteger(12345), "12,345") << language;
        EXPECT_EQ(value.groupedInteger(999), "999") << language;
        EXPECT_EQ(value.groupedInteger(0), "0") << language;
    }
    const Localization english("en", shippedResources);
    EXPECT_EQ(english.groupedInteger(-1234567), "-1,234,567");
    EXPECT_EQ(english.groupedInteger(std::numeric_limits<std::int64_t>::max()),
              "9,223,372,036,854,775,807");
}

TEST_F(LocalizationTest, ShortTimeFollowsTheLocalesClock) {
    const Calendar zone = utc();
    const std::string english =
        Localization("en", shippedResources).shortTime(tuesdayLateEvening, zone);
    EXPECT_TRUE(contains(english, "11:40")) << english;
    EXPECT_TRUE(contains(english, "PM")) << english;
    EXPECT_EQ(Localization("ja", shippedResources).shortTime(tuesdayLateEvening, zone), "23:40");
    EXPECT_EQ(Localization("zh-Hans", shippedResources).shortTime(tuesdayLateEvening, zone),
              "23:40");
    const Calendar tokyo = *Calendar::inZone("Asia/Tokyo");
    EXPECT_EQ(Localization("ja", shippedResources).shortTime(tuesdayLateEvening, tokyo), "8:40");
}

TEST_F(LocalizationTest, OneValueServesSeveralThreadsAtOnce) {
    const Localization japanese("ja", shippedResources);
    const Calendar zone = utc();
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, copy = japanese, calendar = zone]() mutable {
            for (int round = 0; round < 50; ++round) {
                const Localization& value = round % 2 == 0 ? japanese : copy;
                if (!contains(value.longDate(tuesdayLateEvening, calendar), "2024年3月5日") ||
                    value.groupedInteger(12345) != "12,345" ||
                    value.text("common.done") != "完了" || !contains(value.meters(4.936), "4.9")) {
                    ++wrong;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace tapwell

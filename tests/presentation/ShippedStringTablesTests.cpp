// Checks the string tables that ship with the program: every language has every key the program
// uses, and every translation takes exactly the arguments that the code passes.

#include <gtest/gtest.h>

#include <charconv>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/FileSystem.h"
#include "presentation/FormatString.h"
#include "presentation/Localization.h"
#include "presentation/StringTable.h"

namespace tapwell {
namespace {

const std::filesystem::path sourceResources = TAPWELL_SOURCE_RESOURCE_DIR;
const std::filesystem::path buildResources = TAPWELL_BUILD_RESOURCE_DIR;

// Every key the program looks up, with the number of arguments the caller fills in.
const std::map<std::string, int>& requiredKeys() {
    static const std::map<std::string, int> keys{
        {"app.name", 0},
        {"cli.duration.hms", 3},
        {"cli.duration.ms", 2},
        {"cli.duration.s", 1},
        {"cli.stats.breaks", 1},
        {"cli.stats.date", 1},
        {"cli.stats.deleteConfirm", 1},
        {"cli.stats.deleteFailed", 1},
        {"cli.stats.deleted", 1},
        {"cli.stats.deletedThroughApp", 1},
        {"cli.stats.exportFailed", 1},
        {"cli.stats.exported", 1},
        {"cli.stats.exportedThroughApp", 1},
        {"cli.stats.focus", 1},
        {"cli.stats.hourly", 0},
        {"cli.stats.hourly.none", 0},
        {"cli.stats.keystrokes", 1},
        {"cli.stats.kpm", 2},
        {"cli.stats.rank", 2},
        {"cli.stats.toNext.one", 1},
        {"cli.stats.toNext.other", 1},
        {"cli.stats.topRank", 0},
        {"terminal.display.gone", 0},
        {"terminal.downloads.missing", 1},
        {"terminal.downloads.unavailable", 1},
        {"terminal.keyboard.listening", 0},
        {"terminal.keyboard.none", 0},
        {"terminal.silent", 1},
        {"terminal.silent.wav", 2},
        {"terminal.sounds.off", 0},
        {"terminal.sounds.on", 0},
        {"popover.todaysRecap", 0},
        {"popover.access.body", 0},
        {"popover.access.copied", 0},
        {"popover.access.copy", 0},
        {"popover.access.help", 0},
        {"popover.access.title", 0},
        {"popover.alertVolume", 0},
        {"popover.alerts", 0},
        {"popover.breaks", 0},
        {"popover.keystrokesToday.one", 0},
        {"popover.keystrokesToday.other", 0},
        {"popover.muteHour", 0},
        {"popover.mutedLeft", 1},  // the time left, "59:12"
        {"popover.nudge.due", 0},
        {"popover.nudge.in.one", 1},
        {"popover.nudge.in.other", 1},
        {"popover.nudge.off", 0},
        {"popover.nudge.onHold", 0},
        {"popover.nudge.pause", 0},
        {"popover.nudge.pausedUntil", 1},  // the time of day
        {"popover.nudge.resume", 0},
        {"popover.quit", 0},
        {"popover.rank.toNamed.one", 2},
        {"popover.rank.toNamed.other", 2},  // the count, the next rank
        {"popover.rank.toNext.one", 1},
        {"popover.rank.toNext.other", 1},
        {"popover.rank.top", 0},
        {"popover.settings", 0},
        {"popover.soundUnavailable", 0},
        {"popover.soundsOn", 0},
        {"popover.speed.best", 0},
        {"popover.speed.now", 0},
        {"popover.theme", 0},
        {"popover.typing", 0},
        {"popover.typingVolume", 0},
        {"popover.unmute", 0},
        {"hud.capsLockOn", 0},
        {"common.done", 0},
        {"events.screenshot.subtitle", 0},
        {"notification.break.title", 0},
        {"notification.break.body", 1},  // minutes
        {"notification.break.take5", 0},
        {"notification.break.snooze", 0},
        {"notification.lateNight.title", 1},  // the time of day
        {"notification.lateNight.body", 0},
        {"notification.dailyLimit.title", 0},
        {"notification.dailyLimit.body", 1},  // today's count
        {"notification.rankUp.title", 1},     // the new rank
        {"notification.rankUp.body", 2},      // today's count, the next rank
        {"notification.rankUp.bodyTop", 1},   // today's count
        {"recap.keystrokesToday", 0},
        {"recap.topSpeed", 0},
        {"recap.words", 0},
        {"recap.words.divisor", 0},
        {"recap.travel", 0},
        {"recap.breaks", 0},
        {"recap.footer.brand", 0},
        {"recap.footer.privacy", 0},
        {"recap.copyImage", 0},
        {"recap.savePNG", 0},
        {"unit.keysPerMinute.value", 1},  // keys per minute
        {"tray.mute", 0},
        {"tray.unmute", 1},  // minutes left
        {"tray.pauseNudges", 0},
        {"tray.resumeNudges", 0},
        {"tray.settings", 0},
        {"tray.recap", 0},
        {"tray.quit", 0},
        {"tray.toolTip.count", 1},  // today's count
        {"tray.toolTip.soundsOff", 0},
        {"tray.toolTip.muted", 1},  // minutes left
    };
    return keys;
}

StringTable shippedTable(std::string_view language) {
    const auto file =
        sourceResources / (std::string(language) + ".lproj") / std::string(StringTable::fileName);
    auto table = StringTable::load(file);
    if (!table) {
        ADD_FAILURE() << table.error().description();
        return {};
    }
    return std::move(*table);
}

std::set<int> argumentsUpTo(int count) {
    std::set<int> result;
    for (int i = 1; i <= count; ++i) {
        result.insert(i);
    }
    return result;
}

TEST(ShippedStringTables, EveryLanguageHasEveryKey) {
    for (const std::string_view language : Localization::supported) {
        const StringTable table = shippedTable(language);
        for (const auto& [key, arguments] : requiredKeys()) {
            const std::string* text = table.find(key);
            ASSERT_NE(text, nullptr) << language << " lacks " << key;
            EXPECT_FALSE(text->empty()) << language << " " << key;
        }
    }
}

TEST(ShippedStringTables, AllLanguagesHaveTheSameKeys) {
    const std::vector<std::string> english = shippedTable("en").keys();
    for (const std::string_view language : Localization::supported) {
        EXPECT_EQ(shippedTable(language).keys(), english) << language;
    }
}

TEST(ShippedStringTables, TextsHaveNoStrayWhitespace) {
    for (const std::string_view language : Localization::supported) {
        const StringTable table = shippedTable(language);
        for (const std::string& key : table.keys()) {
            const std::string& text = *table.find(key);
            ASSERT_FALSE(text.empty()) << language << " " << key;
            EXPECT_NE(text.front(), ' ') << language << " " << key;
            EXPECT_NE(text.back(), ' ') << language << " " << key;
            EXPECT_EQ(text.find('\n'), std::string::npos) << language << " " << key;
        }
    }
}

TEST(ShippedStringTables, EnglishTakesExactlyTheArgumentsTheCallersPass) {
    const StringTable english = shippedTable("en");
    for (const auto& [key, arguments] : requiredKeys()) {
        const std::string* text = english.find(key);
        ASSERT_NE(text, nullptr) << key;
        const auto used = placeholderIndices(*text);
        ASSERT_TRUE(used.has_value()) << key << ": " << used.error();
        EXPECT_EQ(*used, argumentsUpTo(arguments)) << key;
    }
}

TEST(ShippedStringTables, EveryTranslationTakesTheSamePlaceholdersAsEnglish) {
    const StringTable english = shippedTable("en");
    for (const std::string_view language : Localization::supported) {
        const StringTable table = shippedTable(language);
        for (const std::string& key : english.keys()) {
            const auto expected = placeholderIndices(*english.find(key));
            ASSERT_TRUE(expected.has_value()) << "en " << key << ": " << expected.error();
            const std::string* text = table.find(key);
            ASSERT_NE(text, nullptr) << language << " lacks " << key;
            const auto used = placeholderIndices(*text);
            ASSERT_TRUE(used.has_value()) << language << " " << key << ": " << used.error();
            EXPECT_EQ(*used, *expected) << language << " " << key;
        }
    }
}

TEST(ShippedStringTables, WordsDivisorIsAPositiveInteger) {
    for (const std::string_view language : Localization::supported) {
        const std::string text = *shippedTable(language).find("recap.words.divisor");
        int value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        EXPECT_EQ(error, std::errc{}) << language;
        EXPECT_EQ(end, text.data() + text.size()) << language;
        EXPECT_GE(value, 1) << language;
    }
}

TEST(ShippedStringTables, TheBuildTreeCarriesTheSameTables) {
    for (const std::string_view language : Localization::supported) {
        const auto relative =
            std::filesystem::path(std::string(language) + ".lproj") / StringTable::fileName;
        const ReadResult source = readFile(sourceResources / relative);
        const ReadResult copy = readFile(buildResources / relative);
        ASSERT_TRUE(source.contents.has_value()) << source.error.description;
        ASSERT_TRUE(copy.contents.has_value()) << copy.error.description;
        EXPECT_EQ(*copy.contents, *source.contents) << language;
    }
}

}  // namespace
}  // namespace tapwell

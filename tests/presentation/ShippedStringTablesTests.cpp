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
        {"onboarding.access.copied", 0},
        {"onboarding.access.copy", 0},
        {"onboarding.access.join", 0},
        {"onboarding.access.lead", 0},
        {"onboarding.access.login", 0},
        {"onboarding.access.missing", 0},
        {"onboarding.access.ready", 0},
        {"onboarding.access.readyBody", 0},
        {"onboarding.access.recheck", 0},
        {"onboarding.access.title", 0},
        {"onboarding.access.why", 0},
        {"onboarding.back", 0},
        {"onboarding.finish", 0},
        {"onboarding.finish.lead", 0},
        {"onboarding.finish.settings", 0},
        {"onboarding.finish.settingsTitle", 0},
        {"onboarding.finish.shortcut", 1},  // the shortcut, "Ctrl+Alt+K"
        {"onboarding.finish.shortcutOff", 1},
        {"onboarding.finish.shortcutTaken", 1},
        {"onboarding.finish.shortcutTitle", 0},
        {"onboarding.finish.title", 0},
        {"onboarding.finish.tray", 0},
        {"onboarding.finish.trayTitle", 0},
        {"onboarding.next", 0},
        {"onboarding.pad.clickToType", 0},
        {"onboarding.pad.lead", 0},
        {"onboarding.pad.name", 0},
        {"onboarding.pad.presses.one", 0},
        {"onboarding.pad.presses.other", 0},
        {"onboarding.pad.prompt", 0},
        {"onboarding.pad.silent", 0},
        {"onboarding.pad.soundsOff", 0},
        {"onboarding.pad.themes", 0},
        {"onboarding.pad.title", 0},
        {"onboarding.privacy.kept", 0},
        {"onboarding.privacy.kept1", 0},
        {"onboarding.privacy.kept2", 0},
        {"onboarding.privacy.kept3", 0},
        {"onboarding.privacy.lead", 0},
        {"onboarding.privacy.never", 0},
        {"onboarding.privacy.never1", 0},
        {"onboarding.privacy.never2", 0},
        {"onboarding.privacy.never3", 0},
        {"onboarding.privacy.sample", 0},
        {"onboarding.privacy.title", 0},
        {"onboarding.privacy.where", 0},
        {"onboarding.skip", 0},
        {"onboarding.stepOf", 2},  // the step, the number of steps
        // The settings window.
        {"settings.cancel", 0},
        {"settings.dismiss", 0},
        {"settings.events.addApps", 0},
        {"settings.events.alertsCaption", 0},
        {"settings.events.batteryLow", 0},
        {"settings.events.batteryLowNote", 0},
        {"settings.events.batteryThreshold", 0},
        {"settings.events.builtInSpeakers", 0},
        {"settings.events.builtInSpeakersNote", 0},
        {"settings.events.capsLock", 0},
        {"settings.events.capsLockNote", 0},
        {"settings.events.charger", 0},
        {"settings.events.chargerNote", 0},
        {"settings.events.chooseFolder", 0},
        {"settings.events.chooserAdd", 0},
        {"settings.events.chooserNoMatch", 0},
        {"settings.events.chooserNone", 0},
        {"settings.events.chooserSearch", 0},
        {"settings.events.chooserTitle", 0},
        {"settings.events.download", 0},
        {"settings.events.downloadNote", 0},
        {"settings.events.folder", 0},
        {"settings.events.mutedCaption", 0},
        {"settings.events.mutedNote", 0},
        {"settings.events.noBuiltInSpeakers", 0},
        {"settings.events.noFolder", 0},
        {"settings.events.outputCaption", 0},
        {"settings.events.percent", 1},
        {"settings.events.preview", 0},
        {"settings.events.previewNamed", 1},
        {"settings.events.removeApp", 0},
        {"settings.events.screenshot", 0},
        {"settings.events.screenshotNote", 0},
        {"settings.general.caption", 0},
        {"settings.general.guide", 0},
        {"settings.general.guideCaption", 0},
        {"settings.general.language", 0},
        {"settings.general.languageNote", 0},
        {"settings.general.loginApproval", 0},
        {"settings.general.openAtLogin", 0},
        {"settings.general.shortcut", 0},
        {"settings.general.shortcutNote", 0},
        {"settings.general.shortcutUnavailable", 0},
        {"settings.general.showCount", 0},
        {"settings.general.showCountNote", 0},
        {"settings.general.showGuide", 0},
        {"settings.language.en", 0},
        {"settings.language.ja", 0},
        {"settings.language.zh-Hans", 0},
        {"settings.page.events", 0},
        {"settings.page.general", 0},
        {"settings.page.privacy", 0},
        {"settings.page.stats", 0},
        {"settings.page.themes", 0},
        {"settings.page.wellbeing", 0},
        {"settings.privacy.confirmBody", 1},
        {"settings.privacy.confirmDelete", 0},
        {"settings.privacy.confirmTitle", 0},
        {"settings.privacy.dataCaption", 0},
        {"settings.privacy.delete", 0},
        {"settings.privacy.deleteLabel", 0},
        {"settings.privacy.deleteNote", 0},
        {"settings.privacy.export", 0},
        {"settings.privacy.exportLabel", 0},
        {"settings.privacy.exportNote", 0},
        {"settings.privacy.exportTitle", 0},
        {"settings.privacy.keptCaption", 0},
        {"settings.privacy.never", 0},
        {"settings.privacy.neverLabel", 0},
        {"settings.privacy.recorded", 0},
        {"settings.privacy.recordedLabel", 0},
        {"settings.privacy.sampleLabel", 0},
        {"settings.privacy.show", 0},
        {"settings.privacy.showLabel", 0},
        {"settings.privacy.showNote", 0},
        {"settings.sidebar", 0},
        {"settings.stats.bestDay", 1},
        {"settings.stats.celebration", 0},
        {"settings.stats.celebrationCaption", 0},
        {"settings.stats.celebrationNote", 0},
        {"settings.stats.daysCaption", 0},
        {"settings.stats.nothingStored", 0},
        {"settings.stats.openRecap", 0},
        {"settings.stats.peakHour", 1},
        {"settings.stats.perDay", 0},
        {"settings.stats.perHour", 0},
        {"settings.stats.range", 3},
        {"settings.stats.recap", 0},
        {"settings.stats.recapNote", 0},
        {"settings.stats.todayCaption", 0},
        {"settings.stats.total.one", 1},
        {"settings.stats.total.other", 1},
        {"settings.stats.words.one", 1},
        {"settings.stats.words.other", 1},
        {"settings.stats.wordsNote.one", 1},
        {"settings.stats.wordsNote.other", 1},
        {"settings.themes.ambience", 0},
        {"settings.themes.ambienceCaption", 0},
        {"settings.themes.ambienceNote", 0},
        {"settings.themes.ambienceVolume", 0},
        {"settings.themes.caption", 0},
        {"settings.themes.failed", 2},
        {"settings.themes.import", 0},
        {"settings.themes.importButton", 0},
        {"settings.themes.importFailed", 1},
        {"settings.themes.importFilter", 0},
        {"settings.themes.importNote", 0},
        {"settings.themes.importTitle", 0},
        {"settings.themes.importing", 0},
        {"settings.themes.noAmbience", 0},
        {"settings.themes.notPrepared", 0},
        {"settings.wellbeing.breakMinutes", 0},
        {"settings.wellbeing.breakNote", 0},
        {"settings.wellbeing.breakNudge", 0},
        {"settings.wellbeing.dailyKeystrokes", 0},
        {"settings.wellbeing.dailyLimit", 0},
        {"settings.wellbeing.dailyNote", 0},
        {"settings.wellbeing.lateNight", 0},
        {"settings.wellbeing.lateNote", 0},
        {"settings.wellbeing.lateTime", 0},
        {"settings.wellbeing.minutes.one", 1},
        {"settings.wellbeing.minutes.other", 1},
        {"settings.wellbeing.notifications.checking", 0},
        {"settings.wellbeing.notifications.checkingDetail", 0},
        {"settings.wellbeing.notifications.noActions", 0},
        {"settings.wellbeing.notifications.noServer", 0},
        {"settings.wellbeing.notifications.noServerDetail", 0},
        {"settings.wellbeing.notifications.on", 0},
        {"settings.wellbeing.notifications.onDetail", 0},
        {"settings.wellbeing.notificationsCaption", 0},
        {"settings.wellbeing.nudgesCaption", 0},
        {"settings.wellbeing.pauseInMeetings", 0},
        {"settings.wellbeing.pauseNote", 0},
        {"settings.wellbeing.testNotification", 0},
        {"settings.wellbeing.wrapNote", 0},
        {"settings.wellbeing.wrapTime", 0},
        {"settings.wellbeing.wrapUp", 0},
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

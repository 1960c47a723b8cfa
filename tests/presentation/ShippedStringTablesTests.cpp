// Checks the string tables that ship with the program: every language has every key the program
// uses, and every translation takes exactly the arguments that the code passes.

#include <gtest/gtest.h>

#include <charconv>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
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

// Every key the program looks up with arguments, and how many the caller fills in.
const std::map<std::string, int>& keysWithArguments() {
    static const std::map<std::string, int> keys{
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
        {"cli.stats.keystrokes", 1},
        {"cli.stats.kpm", 2},
        {"cli.stats.rank", 2},
        {"cli.stats.toNext.one", 1},
        {"cli.stats.toNext.other", 1},
        {"terminal.downloads.missing", 1},
        {"terminal.downloads.unavailable", 1},
        {"terminal.silent", 1},
        {"terminal.silent.wav", 2},
        {"popover.mutedLeft", 1},  // the time left, "59:12"
        {"popover.nudge.in.one", 1},
        {"popover.nudge.in.other", 1},
        {"popover.nudge.pausedUntil", 1},  // the time of day
        {"popover.rank.toNamed.one", 2},
        {"popover.rank.toNamed.other", 2},  // the count, the next rank
        {"popover.rank.toNext.one", 1},
        {"popover.rank.toNext.other", 1},
        {"notification.break.body", 1},       // minutes
        {"notification.lateNight.title", 1},  // the time of day
        {"notification.dailyLimit.body", 1},  // today's count
        {"notification.rankUp.title", 1},     // the new rank
        {"notification.rankUp.body", 2},      // today's count, the next rank
        {"notification.rankUp.bodyTop", 1},   // today's count
        {"unit.keysPerMinute.value", 1},      // keys per minute
        {"tray.unmute", 1},                   // minutes left
        {"tray.toolTip.count", 1},            // today's count
        {"tray.toolTip.muted", 1},            // minutes left
        {"onboarding.finish.shortcut", 1},    // the shortcut, "Ctrl+Alt+K"
        {"onboarding.finish.shortcutOff", 1},
        {"onboarding.finish.shortcutTaken", 1},
        {"onboarding.stepOf", 2},  // the step, the number of steps
        {"settings.events.percent", 1},
        {"settings.events.previewNamed", 1},
        {"settings.privacy.confirmBody", 1},
        {"settings.stats.bestDay", 1},
        {"settings.stats.peakHour", 1},
        {"settings.stats.range", 3},
        {"settings.stats.total.one", 1},
        {"settings.stats.total.other", 1},
        {"settings.stats.words.one", 1},
        {"settings.stats.words.other", 1},
        {"settings.stats.wordsNote.one", 1},
        {"settings.stats.wordsNote.other", 1},
        {"settings.themes.failed", 2},
        {"settings.themes.importFailed", 1},
        {"settings.wellbeing.minutes.one", 1},
        {"settings.wellbeing.minutes.other", 1},
    };
    return keys;
}

// Every key the program looks up without arguments, separated by white space.
constexpr std::string_view keysWithoutArguments = R"(
    app.name
    cli.stats.hourly cli.stats.hourly.none cli.stats.topRank
    terminal.display.gone terminal.keyboard.listening terminal.keyboard.none terminal.sounds.off
    terminal.sounds.on
    popover.todaysRecap popover.access.body popover.access.copied popover.access.copy
    popover.access.help popover.access.title popover.alertVolume popover.alerts popover.breaks
    popover.keystrokesToday.one popover.keystrokesToday.other popover.muteHour popover.nudge.due
    popover.nudge.off popover.nudge.onHold popover.nudge.pause popover.nudge.resume popover.quit
    popover.rank.top popover.settings popover.soundUnavailable popover.soundsOn popover.speed.best
    popover.speed.now popover.theme popover.typing popover.typingVolume popover.unmute
    hud.capsLockOn
    common.done
    events.screenshot.subtitle
    notification.break.title notification.break.take5 notification.break.snooze
    notification.lateNight.body notification.dailyLimit.title
    recap.keystrokesToday recap.topSpeed recap.words recap.words.divisor recap.travel recap.breaks
    recap.footer.brand recap.footer.privacy recap.copyImage recap.savePNG
    tray.mute tray.pauseNudges tray.resumeNudges tray.settings tray.recap tray.quit
    tray.toolTip.soundsOff
    onboarding.access.copied onboarding.access.copy onboarding.access.join onboarding.access.lead
    onboarding.access.login onboarding.access.missing onboarding.access.ready
    onboarding.access.readyBody onboarding.access.recheck onboarding.access.title
    onboarding.access.why onboarding.back onboarding.finish onboarding.finish.lead
    onboarding.finish.settings onboarding.finish.settingsTitle onboarding.finish.shortcutTitle
    onboarding.finish.title onboarding.finish.tray onboarding.finish.trayTitle onboarding.next
    onboarding.pad.clickToType onboarding.pad.lead onboarding.pad.name onboarding.pad.presses.one
    onboarding.pad.presses.other onboarding.pad.prompt onboarding.pad.silent
    onboarding.pad.soundsOff onboarding.pad.themes onboarding.pad.title onboarding.privacy.kept
    onboarding.privacy.kept1 onboarding.privacy.kept2 onboarding.privacy.kept3
    onboarding.privacy.lead onboarding.privacy.never onboarding.privacy.never1
    onboarding.privacy.never2 onboarding.privacy.never3 onboarding.privacy.sample
    onboarding.privacy.title onboarding.privacy.where onboarding.skip
    settings.cancel settings.dismiss settings.events.addApps settings.events.alertsCaption
    settings.events.batteryLow settings.events.batteryLowNote settings.events.batteryThreshold
    settings.events.builtInSpeakers settings.events.builtInSpeakersNote settings.events.capsLock
    settings.events.capsLockNote settings.events.charger settings.events.chargerNote
    settings.events.chooseFolder settings.events.chooserAdd settings.events.chooserNoMatch
    settings.events.chooserNone settings.events.chooserSearch settings.events.chooserTitle
    settings.events.download settings.events.downloadNote settings.events.folder
    settings.events.mutedCaption settings.events.mutedNote settings.events.noBuiltInSpeakers
    settings.events.noFolder settings.events.outputCaption settings.events.preview
    settings.events.removeApp settings.events.screenshot settings.events.screenshotNote
    settings.general.caption settings.general.guide settings.general.guideCaption
    settings.general.language settings.general.languageNote settings.general.loginApproval
    settings.general.openAtLogin settings.general.shortcut settings.general.shortcutNote
    settings.general.shortcutUnavailable settings.general.showCount settings.general.showCountNote
    settings.general.showGuide settings.language.en settings.language.ja settings.language.zh-Hans
    settings.page.events settings.page.general settings.page.privacy settings.page.stats
    settings.page.themes settings.page.wellbeing settings.privacy.confirmDelete
    settings.privacy.confirmTitle settings.privacy.dataCaption settings.privacy.delete
    settings.privacy.deleteLabel settings.privacy.deleteNote settings.privacy.export
    settings.privacy.exportLabel settings.privacy.exportNote settings.privacy.exportTitle
    settings.privacy.keptCaption settings.privacy.never settings.privacy.neverLabel
    settings.privacy.recorded settings.privacy.recordedLabel settings.privacy.sampleLabel
    settings.privacy.show settings.privacy.showLabel settings.privacy.showNote settings.sidebar
    settings.stats.celebration settings.stats.celebrationCaption settings.stats.celebrationNote
    settings.stats.daysCaption settings.stats.nothingStored settings.stats.openRecap
    settings.stats.perDay settings.stats.perHour settings.stats.recap settings.stats.recapNote
    settings.stats.todayCaption settings.themes.ambience settings.themes.ambienceCaption
    settings.themes.ambienceNote settings.themes.ambienceVolume settings.themes.caption
    settings.themes.import settings.themes.importButton settings.themes.importFilter
    settings.themes.importNote settings.themes.importTitle settings.themes.importing
    settings.themes.noAmbience settings.themes.notPrepared settings.wellbeing.breakMinutes
    settings.wellbeing.breakNote settings.wellbeing.breakNudge settings.wellbeing.dailyKeystrokes
    settings.wellbeing.dailyLimit settings.wellbeing.dailyNote settings.wellbeing.lateNight
    settings.wellbeing.lateNote settings.wellbeing.lateTime
    settings.wellbeing.notifications.checking settings.wellbeing.notifications.checkingDetail
    settings.wellbeing.notifications.noActions settings.wellbeing.notifications.noServer
    settings.wellbeing.notifications.noServerDetail settings.wellbeing.notifications.on
    settings.wellbeing.notifications.onDetail settings.wellbeing.notificationsCaption
    settings.wellbeing.nudgesCaption settings.wellbeing.pauseInMeetings settings.wellbeing.pauseNote
    settings.wellbeing.testNotification settings.wellbeing.wrapNote settings.wellbeing.wrapTime
    settings.wellbeing.wrapUp
)";

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
    std::map<std::string, int> required = keysWithArguments();
    std::istringstream names{std::string(keysWithoutArguments)};
    for (std::string key; names >> key;) {
        EXPECT_TRUE(required.emplace(key, 0).second) << key << " is listed twice";
    }
    for (const auto& [key, arguments] : required) {
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

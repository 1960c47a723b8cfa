#include <gtest/gtest.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "core/UserDefaults.h"
#include "preferences/AppPreferences.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

using nlohmann::json;

class PreferencesStore : public ::testing::Test {
protected:
    test::TempDir dir;
    UserDefaults defaults{dir / "defaults.json"};

    void store(const std::string& text) {
        ASSERT_TRUE(defaults.set(defaultsKey::preferences, Bytes(text.begin(), text.end())));
    }
    AppPreferences load() { return AppPreferences::load(defaults); }
};

TEST(AppPreferences, DefaultMutedAppsDependOnLanguage) {
    EXPECT_EQ(defaultMutedApps("ja"), defaultMutedApps("en"));
    EXPECT_NE(defaultMutedApps("zh-Hans"), defaultMutedApps("en"));
    EXPECT_EQ(defaultMutedApps("zh-Hans").front(), "wemeetapp");
    // Each program by its .deb entry and its Flatpak.
    for (const char* id : {"Zoom", "us.zoom.Zoom", "com.obsproject.Studio"}) {
        for (const char* language : {"en", "zh-Hans"}) {
            const auto& list = defaultMutedApps(language);
            EXPECT_NE(std::find(list.begin(), list.end(), id), list.end()) << id << language;
        }
    }
}

TEST(AppPreferences, EncodesAllTwentyMembersCompactly) {
    const std::string text = AppPreferences{}.toJSON();
    EXPECT_EQ(text.find(' '), std::string::npos);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    const json object = json::parse(text);
    EXPECT_EQ(object.size(), 20u);
    EXPECT_TRUE(object.at("batteryThreshold").is_number_integer());
    EXPECT_TRUE(object.at("mutedApps").is_array());
    EXPECT_TRUE(object.at("mutedAppsCustomized").is_boolean());
}

TEST_F(PreferencesStore, SaveThenLoadGivesEveryFieldBack) {
    AppPreferences p;
    p.showCount = true;
    p.shortcutEnabled = false;
    p.capsLock = false;
    p.charger = false;
    p.batteryLow = false;
    p.batteryThreshold = 15;
    p.download = false;
    p.screenshot = false;
    p.builtInSpeakers = true;
    p.breakNudge = false;
    p.breakMinutes = 90;
    p.lateNight = false;
    p.lateMinute = 0;
    p.wrapUp = false;
    p.wrapMinute = 1439;
    p.dailyLimit = true;
    p.dailyKeystrokes = 1;
    p.pauseInMeetings = false;
    p.mutedApps = {"b", "a", "b"};
    p.mutedAppsCustomized = true;
    p.save(defaults);
    EXPECT_EQ(load(), p);
    ASSERT_FALSE(defaults.flush());
    EXPECT_EQ(AppPreferences::load(UserDefaults(dir / "defaults.json")), p);
}

TEST_F(PreferencesStore, MissingValueGivesTheDefaults) { EXPECT_EQ(load(), AppPreferences{}); }

TEST_F(PreferencesStore, EmptyObjectLoadsAsDefaultAndUncustomised) {
    store("{}");
    EXPECT_EQ(load(), AppPreferences{});
}

TEST_F(PreferencesStore, MutedAppsWithoutFlagCountAsCustomisedOnlyWhenTheSetDiffers) {
    auto list = defaultMutedApps();
    std::reverse(list.begin(), list.end());
    list.push_back(list.front());  // a duplicate does not make it different
    store(json{{"mutedApps", list}}.dump());
    EXPECT_FALSE(load().mutedAppsCustomized);
    EXPECT_EQ(load().mutedApps, list);

    auto shorter = defaultMutedApps();
    shorter.pop_back();
    store(json{{"mutedApps", shorter}}.dump());
    EXPECT_TRUE(load().mutedAppsCustomized);

    store(json{{"mutedApps", shorter}, {"mutedAppsCustomized", false}}.dump());
    EXPECT_FALSE(load().mutedAppsCustomized) << "a stored flag wins";
}

TEST_F(PreferencesStore, OutOfRangeNumbersAreRepaired) {
    store(R"({"batteryThreshold":25,"breakMinutes":45,"lateMinute":-5,"wrapMinute":2000,"dailyKeystrokes":0})");
    const AppPreferences p = load();
    EXPECT_EQ(p.batteryThreshold, 20);
    EXPECT_EQ(p.breakMinutes, 45);
    EXPECT_EQ(p.lateMinute, 0);
    EXPECT_EQ(p.wrapMinute, 1439);
    EXPECT_EQ(p.dailyKeystrokes, 1);
    store(R"({"breakMinutes":61,"dailyKeystrokes":-3})");
    EXPECT_EQ(load().breakMinutes, 60);
    EXPECT_EQ(load().dailyKeystrokes, 1);
}

TEST_F(PreferencesStore, WrongTypedMembersKeepTheirDefaultsAndOthersStillLoad) {
    store(R"({"showCount":"yes","batteryThreshold":15.0,"breakMinutes":null,"charger":false,)"
          R"("mutedApps":["a",3],"lateMinute":1e3,"wrapMinute":18446744073709551615,"capsLock":1})");
    const AppPreferences p = load();
    EXPECT_FALSE(p.showCount);
    EXPECT_EQ(p.batteryThreshold, 20) << "a double is not an integer";
    EXPECT_EQ(p.breakMinutes, 60);
    EXPECT_FALSE(p.charger);
    EXPECT_EQ(p.mutedApps, defaultMutedApps()) << "a list with a non-string is the wrong type";
    EXPECT_EQ(p.lateMinute, 1380);
    EXPECT_EQ(p.wrapMinute, 1110);
    EXPECT_TRUE(p.capsLock);
}

TEST_F(PreferencesStore, DocumentsThatAreNotObjectsGiveTheDefaults) {
    for (const char* text : {"not json", "[1,2]", "42", "null", ""}) {
        store(text);
        EXPECT_EQ(load(), AppPreferences{}) << text;
    }
}

TEST_F(PreferencesStore, RepairsAreNotWrittenBackUntilTheNextSave) {
    const std::string original = R"({"batteryThreshold":25})";
    store(original);
    (void)load();
    const auto data = defaults.dataValue(defaultsKey::preferences);
    ASSERT_TRUE(data);
    EXPECT_EQ(std::string(data->begin(), data->end()), original);
}

TEST(SystemSoundEvent, RawValuesAreCaseNamesInOrder) {
    std::vector<std::string> names;
    for (SystemSoundEvent e : allSystemSoundEvents) {
        names.emplace_back(toString(e));
        EXPECT_EQ(systemSoundEventFromString(toString(e)), e);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"capsOn", "capsOff", "charger", "batteryLow",
                                               "downloadDone", "screenshot"}));
    EXPECT_FALSE(systemSoundEventFromString("rankUp"));
    EXPECT_FALSE(systemSoundEventFromString("CapsOn"));
}

TEST(SystemSoundEvent, EachEventIsGatedByItsPreference) {
    AppPreferences p;
    p.capsLock = false;
    p.download = false;
    EXPECT_FALSE(p.isEnabled(SystemSoundEvent::capsOn));
    EXPECT_FALSE(p.isEnabled(SystemSoundEvent::capsOff));
    EXPECT_FALSE(p.isEnabled(SystemSoundEvent::downloadDone));
    EXPECT_TRUE(p.isEnabled(SystemSoundEvent::charger));
    EXPECT_TRUE(p.isEnabled(SystemSoundEvent::screenshot));
}

TEST(SettingsPage, RawValuesRoundTrip) {
    for (SettingsPage page : allSettingsPages) {
        EXPECT_EQ(settingsPageFromString(toString(page)), page);
    }
    EXPECT_FALSE(settingsPageFromString("advanced"));
}

}  // namespace
}  // namespace tapwell

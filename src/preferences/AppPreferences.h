#pragma once
// The user's feature settings: one value record, stored as compact JSON under "m3.preferences".
// Decoding is lenient member by member; loading repairs out-of-range numbers. Owned by the
// application state on the main thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tapwell {

class UserDefaults;

// System alerts, in their listing order. The raw value is the case name, which is also the name
// of the theme's alert sound.
enum class SystemSoundEvent { capsOn, capsOff, charger, batteryLow, downloadDone, screenshot };

inline constexpr SystemSoundEvent allSystemSoundEvents[] = {
    SystemSoundEvent::capsOn,     SystemSoundEvent::capsOff,      SystemSoundEvent::charger,
    SystemSoundEvent::batteryLow, SystemSoundEvent::downloadDone, SystemSoundEvent::screenshot,
};
const char* toString(SystemSoundEvent event);
std::optional<SystemSoundEvent> systemSoundEventFromString(std::string_view raw);

// The pages of the settings window, in order.
enum class SettingsPage { general, themes, events, wellbeing, stats, privacy };

inline constexpr SettingsPage allSettingsPages[] = {
    SettingsPage::general,   SettingsPage::themes, SettingsPage::events,
    SettingsPage::wellbeing, SettingsPage::stats,  SettingsPage::privacy,
};
const char* toString(SettingsPage page);
std::optional<SettingsPage> settingsPageFromString(std::string_view raw);

// The user-defaults keys of the application core.
namespace defaultsKey {
inline constexpr const char* preferences = "m3.preferences";
inline constexpr const char* soundsEnabled = "soundsEnabled";
inline constexpr const char* typingVolume = "typingVolume";
inline constexpr const char* alertVolume = "alertVolume";
inline constexpr const char* rainEnabled = "rainEnabled";
inline constexpr const char* rainVolume = "rainVolume";
inline constexpr const char* celebrationEnabled = "celebrationEnabled";
inline constexpr const char* mutedUntil = "mutedUntil";
inline constexpr const char* appLanguage = "appLanguage";
inline constexpr const char* themeID = "themeID";
inline constexpr const char* onboardingCompleted = "onboardingCompleted";
}  // namespace defaultsKey

// The default muted-apps list for a language code: Linux application ids (desktop-entry ids and
// WM_CLASS names) of the common meeting and recording programs. "zh-Hans" has its own list; every
// other language gets the first one, which is also the record's default.
const std::vector<std::string>& defaultMutedApps(std::string_view language = "en");

struct AppPreferences {
    bool showCount = false;
    bool shortcutEnabled = true;
    bool capsLock = true;
    bool charger = true;
    bool batteryLow = true;
    std::int64_t batteryThreshold = 20;
    bool download = true;
    bool screenshot = true;
    bool builtInSpeakers = false;
    bool breakNudge = true;
    std::int64_t breakMinutes = 60;
    bool lateNight = true;
    std::int64_t lateMinute = 1380;
    bool wrapUp = true;
    std::int64_t wrapMinute = 1110;
    bool dailyLimit = false;
    std::int64_t dailyKeystrokes = 20000;
    bool pauseInMeetings = true;
    std::vector<std::string> mutedApps = defaultMutedApps();
    bool mutedAppsCustomized = false;

    bool operator==(const AppPreferences&) const = default;

    // Whether the preference that gates `event` is on.
    bool isEnabled(SystemSoundEvent event) const;

    // Compact JSON with all 20 members.
    std::string toJSON() const;
    // Lenient decoding: only a document that is not a JSON object fails.
    static std::optional<AppPreferences> fromJSON(std::string_view json);
    // Applies the load-time repairs (thresholds, minutes, limits).
    void repair();

    // Never fails: a missing or undecodable value gives the defaults.
    static AppPreferences load(const UserDefaults& defaults);
    void save(UserDefaults& defaults) const;
};

}  // namespace tapwell

#include "preferences/AppPreferences.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <set>

#include "core/UserDefaults.h"

namespace tapwell {

using nlohmann::json;

namespace {

constexpr std::array<const char*, 6> eventNames = {"capsOn",     "capsOff",      "charger",
                                                   "batteryLow", "downloadDone", "screenshot"};
constexpr std::array<const char*, 6> pageNames = {"general", "themes", "events",
                                                  "wellbeing", "stats", "privacy"};

// The default muted-apps lists, one per language family. The first is the record's default.
// Each program appears by the ids it has on Linux: the desktop-entry id of its .deb and of its
// Flatpak, and its window class for when no desktop entry names the window (the application id
// is then the class). Zoom's .deb installs "Zoom.desktop" for windows of class "zoom"; OBS uses
// one id for both builds and the class "obs". Teams and Loom have no Linux builds of their own:
// the Teams client for Linux and Jitsi Meet stand in.
struct MutedAppsDefaults {
    const char* language;  // nullptr: every other language
    std::vector<std::string> apps;
};
const std::array<MutedAppsDefaults, 2>& mutedAppsTable() {
    static const std::array<MutedAppsDefaults, 2> table = {{
        {nullptr,
         {"Zoom", "zoom", "us.zoom.Zoom",                                  // Zoom
          "teams-for-linux", "com.github.IsmaelMartinez.teams_for_linux",  // Teams
          "com.obsproject.Studio", "obs",                                  // OBS Studio
          "org.jitsi.jitsi-meet", "jitsi-meet"}},                          // Jitsi Meet
        {"zh-Hans",
         {"wemeetapp", "com.tencent.wemeet",                   // Tencent Meeting
          "bytedance-feishu", "cn.feishu.Feishu",              // Feishu (Lark)
          "com.alibabainc.dingtalk", "com.dingtalk.DingTalk",  // DingTalk
          "Zoom", "zoom", "us.zoom.Zoom",                      // Zoom
          "com.obsproject.Studio", "obs"}},                    // OBS Studio
    }};
    return table;
}

// Each member with its JSON name; the order is the record's declaration order.
template <class F>
void forEachScalar(AppPreferences& p, F&& f) {
    f("showCount", p.showCount);
    f("shortcutEnabled", p.shortcutEnabled);
    f("capsLock", p.capsLock);
    f("charger", p.charger);
    f("batteryLow", p.batteryLow);
    f("batteryThreshold", p.batteryThreshold);
    f("download", p.download);
    f("screenshot", p.screenshot);
    f("builtInSpeakers", p.builtInSpeakers);
    f("breakNudge", p.breakNudge);
    f("breakMinutes", p.breakMinutes);
    f("lateNight", p.lateNight);
    f("lateMinute", p.lateMinute);
    f("wrapUp", p.wrapUp);
    f("wrapMinute", p.wrapMinute);
    f("dailyLimit", p.dailyLimit);
    f("dailyKeystrokes", p.dailyKeystrokes);
    f("pauseInMeetings", p.pauseInMeetings);
}

bool takeIfTyped(const json& object, const char* name, bool& out) {
    auto it = object.find(name);
    if (it != object.end() && it->is_boolean()) {
        out = it->get<bool>();
        return true;
    }
    return false;
}

bool takeIfTyped(const json& object, const char* name, std::int64_t& out) {
    auto it = object.find(name);
    if (it == object.end()) {
        return false;
    }
    if (it->is_number_integer() && !it->is_number_unsigned()) {
        out = it->get<std::int64_t>();
        return true;
    }
    // An unsigned value that fits is still an integer; a larger one is out of type.
    if (it->is_number_unsigned() &&
        it->get<std::uint64_t>() <= static_cast<std::uint64_t>(INT64_MAX)) {
        out = static_cast<std::int64_t>(it->get<std::uint64_t>());
        return true;
    }
    return false;
}

}  // namespace

const char* toString(SystemSoundEvent event) { return eventNames[static_cast<std::size_t>(event)]; }

std::optional<SystemSoundEvent> systemSoundEventFromString(std::string_view raw) {
    for (std::size_t i = 0; i < eventNames.size(); ++i) {
        if (raw == eventNames[i]) {
            return static_cast<SystemSoundEvent>(i);
        }
    }
    return std::nullopt;
}

const char* toString(SettingsPage page) { return pageNames[static_cast<std::size_t>(page)]; }

std::optional<SettingsPage> settingsPageFromString(std::string_view raw) {
    for (std::size_t i = 0; i < pageNames.size(); ++i) {
        if (raw == pageNames[i]) {
            return static_cast<SettingsPage>(i);
        }
    }
    return std::nullopt;
}

const std::vector<std::string>& defaultMutedApps(std::string_view language) {
    const auto& table = mutedAppsTable();
    for (const auto& entry : table) {
        if (entry.language != nullptr && language == entry.language) {
            return entry.apps;
        }
    }
    return table.front().apps;
}

bool AppPreferences::isEnabled(SystemSoundEvent event) const {
    switch (event) {
        case SystemSoundEvent::capsOn:
        case SystemSoundEvent::capsOff:
            return capsLock;
        case SystemSoundEvent::charger:
            return charger;
        case SystemSoundEvent::batteryLow:
            return batteryLow;
        case SystemSoundEvent::downloadDone:
            return download;
        case SystemSoundEvent::screenshot:
            return screenshot;
    }
    return false;
}

std::string AppPreferences::toJSON() const {
    json object = json::object();
    AppPreferences copy = *this;
    forEachScalar(copy, [&object](const char* name, const auto& value) { object[name] = value; });
    object["mutedApps"] = mutedApps;
    object["mutedAppsCustomized"] = mutedAppsCustomized;
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<AppPreferences> AppPreferences::fromJSON(std::string_view text) {
    const json object = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!object.is_object()) {
        return std::nullopt;
    }
    AppPreferences p;
    forEachScalar(p, [&object](const char* name, auto& field) { takeIfTyped(object, name, field); });

    if (auto it = object.find("mutedApps"); it != object.end() && it->is_array() &&
                                            std::all_of(it->begin(), it->end(), [](const json& e) {
                                                return e.is_string();
                                            })) {
        p.mutedApps = it->get<std::vector<std::string>>();
    }
    if (!takeIfTyped(object, "mutedAppsCustomized", p.mutedAppsCustomized)) {
        // Data written before the flag existed: customised only when the list really differs.
        const std::set<std::string> stored(p.mutedApps.begin(), p.mutedApps.end());
        const auto& defaults = defaultMutedApps();
        const std::set<std::string> standard(defaults.begin(), defaults.end());
        p.mutedAppsCustomized = stored != standard;
    }
    return p;
}

void AppPreferences::repair() {
    constexpr std::array<std::int64_t, 4> thresholds = {10, 15, 20, 30};
    constexpr std::array<std::int64_t, 4> minutes = {30, 45, 60, 90};
    if (std::find(thresholds.begin(), thresholds.end(), batteryThreshold) == thresholds.end()) {
        batteryThreshold = 20;
    }
    if (std::find(minutes.begin(), minutes.end(), breakMinutes) == minutes.end()) {
        breakMinutes = 60;
    }
    lateMinute = std::clamp<std::int64_t>(lateMinute, 0, 1439);
    wrapMinute = std::clamp<std::int64_t>(wrapMinute, 0, 1439);
    dailyKeystrokes = std::max<std::int64_t>(dailyKeystrokes, 1);
}

AppPreferences AppPreferences::load(const UserDefaults& defaults) {
    const auto data = defaults.dataValue(defaultsKey::preferences);
    if (!data) {
        return AppPreferences{};
    }
    const std::string_view text(reinterpret_cast<const char*>(data->data()), data->size());
    auto decoded = fromJSON(text);
    if (!decoded) {
        return AppPreferences{};
    }
    decoded->repair();
    return *decoded;
}

void AppPreferences::save(UserDefaults& defaults) const {
    const std::string text = toJSON();
    defaults.set(defaultsKey::preferences, Bytes(text.begin(), text.end()));
}

}  // namespace tapwell

#include "support/RecordingState.h"

#include <algorithm>

namespace tapwell::test {

RecordingState::RecordingState(std::filesystem::path resourceFolder)
    : resourceFolder_(std::move(resourceFolder)), localization_("en", resourceFolder_) {}

void RecordingState::useLanguage(const std::string& code) {
    localization_ = Localization(code, resourceFolder_);
    menuBarValue.language = localization_.language();
}

void RecordingState::loadThemes(const std::string& selectedID) {
    auto catalogue = ThemeManager::create(resourceFolder_);
    if (!catalogue) {
        return;
    }
    themesValue = std::move(catalogue->entries);
    sortForDisplay(themesValue);
    availableThemeIDsValue.clear();
    currentThemeValue.reset();
    for (const ThemeEntry& entry : themesValue) {
        if (entry.loaded) {
            availableThemeIDsValue.insert(entry.loaded->theme.id);
            if (entry.loaded->theme.id == selectedID) {
                currentThemeValue = entry.loaded->theme;
            }
        }
    }
}

void RecordingState::publish(PublishedSet what) {
    if (handler_) {
        handler_(what);
    }
}

bool RecordingState::called(const std::string& call) const {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

void RecordingState::record(const std::string& name, const std::string& argument) {
    calls.push_back(argument.empty() ? name : name + ":" + argument);
}

std::optional<RecapContent> RecordingState::recapContent() const {
    if (!currentThemeValue) {
        return std::nullopt;
    }
    return RecapContent::make(snapshotValue.today, *currentThemeValue, localization_, nowValue);
}

std::string RecordingState::onboardingSample() const {
    return "{ \"date\": \"" + snapshotValue.today.date +
           "\", \"keystrokes\": " + std::to_string(snapshotValue.today.keystrokes) +
           ", \"topSpeed\": " + std::to_string(snapshotValue.today.topKpm) +
           ", \"breaks\": " + std::to_string(snapshotValue.today.breaks) + " }";
}

std::string RecordingState::appName(const std::string& id) const {
    for (const InstalledApp& app : installedAppsValue) {
        if (app.id == id) {
            return app.name;
        }
    }
    return id;
}

std::vector<DailyStats> RecordingState::recentDays(int count) const {
    const auto keep =
        std::min<std::size_t>(recentDaysValue.size(), static_cast<std::size_t>(count));
    return {recentDaysValue.end() - static_cast<std::ptrdiff_t>(keep), recentDaysValue.end()};
}

std::optional<std::string> RecordingState::windowFrame(const std::string& name) const {
    const auto it = windowFrames.find(name);
    return it == windowFrames.end() ? std::nullopt : std::optional<std::string>(it->second);
}

void RecordingState::setWindowFrame(const std::string& name, const std::string& frame) {
    record("setWindowFrame", name);
    windowFrames[name] = frame;
}

void RecordingState::setPreferences(AppPreferences preferences) {
    record("setPreferences");
    preferencesValue = std::move(preferences);
    publish(Published::preferences);
}

void RecordingState::setSoundSettings(SoundSettings settings) {
    record("setSoundSettings");
    soundValue = std::move(settings);
    publish(Published::sound);
}

void RecordingState::addMutedApps(const std::vector<std::string>& ids) {
    std::string joined;
    for (const std::string& id : ids) {
        joined += (joined.empty() ? "" : ",") + id;
    }
    record("addMutedApps", joined);
}

bool RecordingState::handleLocalKey(const LocalKey& key) {
    record(key.isDown ? "localKeyDown" : "localKeyUp", std::to_string(key.code));
    localKeys.push_back(key);
    return localKeyResult;
}

}  // namespace tapwell::test

#include "recap/RecapSettings.h"

#include "preferences/AppPreferences.h"
#include "presentation/Localization.h"
#include "themes/ThemeChoice.h"

namespace tapwell {

std::optional<Theme> RecapSettings::selectTheme(const std::vector<ThemeEntry>& entries,
                                                const std::optional<std::string>& preferredID) {
    std::vector<const Theme*> listed;
    std::set<std::string> available;
    for (const ThemeEntry& entry : entries) {
        if (entry.loaded) {
            listed.push_back(&entry.loaded->theme);
            available.insert(entry.loaded->theme.id);
        }
    }
    const auto chosen = chooseThemeID(listed, available, preferredID);
    for (const Theme* theme : listed) {
        if (chosen && theme->id == *chosen) {
            return *theme;
        }
    }
    return std::nullopt;
}

RecapSettings RecapSettings::read(const UserDefaults& defaults,
                                  const std::optional<std::filesystem::path>& resourceFolder) {
    RecapSettings settings;
    settings.language = Localization::supportedOrFallback(
        defaults.stringValue(defaultsKey::appLanguage).value_or(std::string()));
    if (resourceFolder) {
        if (auto catalogue = ThemeManager::create(*resourceFolder)) {
            std::vector<ThemeEntry> entries = std::move(catalogue->entries);
            sortForDisplay(entries);
            settings.theme = selectTheme(entries, defaults.stringValue(defaultsKey::themeID));
        }
    }
    return settings;
}

}  // namespace tapwell

#include "recap/RecapSettings.h"

#include "presentation/Localization.h"

namespace tapwell {

std::optional<Theme> RecapSettings::selectTheme(const std::vector<ThemeEntry>& entries,
                                                const std::optional<std::string>& preferredID) {
    const Theme* preferred = nullptr;
    const Theme* firstDefault = nullptr;
    const Theme* smallest = nullptr;
    for (const ThemeEntry& entry : entries) {
        if (!entry.loaded) {
            continue;
        }
        const Theme& theme = entry.loaded->theme;
        if (preferredID && theme.id == *preferredID && !preferred) {
            preferred = &theme;
        }
        if (theme.isDefault && !firstDefault) {
            firstDefault = &theme;
        }
        if (!smallest || theme.id < smallest->id) {
            smallest = &theme;
        }
    }
    for (const Theme* choice : {preferred, firstDefault, smallest}) {
        if (choice) {
            return *choice;
        }
    }
    return std::nullopt;
}

RecapSettings RecapSettings::read(const UserDefaults& defaults,
                                  const std::optional<std::filesystem::path>& resourceFolder) {
    RecapSettings settings;
    const std::optional<std::string> language = defaults.stringValue("appLanguage");
    settings.language = language && Localization::isSupported(*language)
                            ? *language
                            : std::string(Localization::fallbackLanguage);
    if (resourceFolder) {
        if (auto catalogue = ThemeManager::create(*resourceFolder)) {
            std::vector<ThemeEntry> entries = std::move(catalogue->entries);
            sortForDisplay(entries);
            settings.theme = selectTheme(entries, defaults.stringValue("themeID"));
        }
    }
    return settings;
}

}  // namespace tapwell

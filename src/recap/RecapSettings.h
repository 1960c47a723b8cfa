#pragma once
// The theme and language the user chose, read from the user defaults the way the application
// reads them at start-up: "appLanguage" (a supported code, else "en") and "themeID" (the theme
// the sound engine would select). For tools that show a recap or a rank name without running the
// application.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/UserDefaults.h"
#include "themes/Theme.h"
#include "themes/ThemeManager.h"

namespace tapwell {

struct RecapSettings {
    std::string language;        // a supported code
    std::optional<Theme> theme;  // none when no theme folder holds a valid theme

    static RecapSettings read(const UserDefaults& defaults,
                              const std::optional<std::filesystem::path>& resourceFolder);

    // The theme the sound engine would select among the loaded entries (in display order).
    static std::optional<Theme> selectTheme(const std::vector<ThemeEntry>& entries,
                                            const std::optional<std::string>& preferredID);
};

}  // namespace tapwell

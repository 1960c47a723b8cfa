#include "themes/ThemeChoice.h"

namespace tapwell {

std::optional<std::string> chooseThemeID(const std::vector<const Theme*>& listed,
                                         const std::set<std::string>& available,
                                         const std::optional<std::string>& preferredID) {
    if (preferredID && available.contains(*preferredID)) {
        return preferredID;
    }
    for (const Theme* theme : listed) {
        if (theme->isDefault) {
            if (available.contains(theme->id)) {
                return theme->id;
            }
            break;
        }
    }
    if (available.empty()) {
        return std::nullopt;
    }
    return *available.begin();
}

}  // namespace tapwell

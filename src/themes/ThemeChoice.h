#pragma once
// Which theme plays, decided in one place: the preferred (stored) id when that theme is
// available; otherwise the first listed theme marked as default, provided it is available (a
// second default is never considered); otherwise the available theme with the smallest id. The
// sound engine decides with it over the themes it prepared; tools without an engine decide the
// same way over the catalogue's loaded themes, so both name the same theme.

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "themes/Theme.h"

namespace tapwell {

// `listed`: the candidate themes in display order, available or not. No value when nothing is
// available.
std::optional<std::string> chooseThemeID(const std::vector<const Theme*>& listed,
                                         const std::set<std::string>& available,
                                         const std::optional<std::string>& preferredID);

}  // namespace tapwell

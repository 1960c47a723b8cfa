#pragma once
// Turns a keyboard sound pack (a folder or .zip with config.json) into a theme folder of this
// program. Space, return and backspace keep their own sounds; the distinct sounds of all other
// keys become the cyclic key-down pool, and the pack's key-up sounds the key-up pool. Slices of a
// "single" pack are cut into files of their own. The typing level is matched to the default
// built-in theme's, whose alerts, ambience, colours, rank names and recap texts the new theme
// takes over (copied, so the theme stands on its own). The folder appears atomically: it is built
// and checked in a hidden temporary folder beside its destination and renamed into place, so a
// failure leaves nothing behind. Runs on the calling thread; nothing here is shared.

#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "themeimport/PackArchive.h"

namespace tapwell {

struct ImportRequest {
    std::filesystem::path pack;     // folder, .zip, or the config.json in a folder
    std::optional<std::string> id;  // the new theme's id; none: made from the pack's name
    // A made id that is taken gets "-2", "-3", ... instead of failing: for callers that cannot
    // ask for another id (the settings window).
    bool numberTakenID = false;
    std::filesystem::path themesFolder;    // where the theme folder goes (created when missing)
    std::filesystem::path resourceFolder;  // the built-in themes
    PackLimits limits;
};

struct ImportReport {
    std::string themeID;
    std::string themeName;
    std::filesystem::path directory;
    std::vector<std::string> mapped;   // what became of the pack, one line each
    std::vector<std::string> dropped;  // what the theme could not take, one line each
};

// Fails with one message that names the pack, the field or file, and what to do.
std::expected<ImportReport, std::string> importSoundPack(const ImportRequest& request);

// Whether `id` can name a theme folder: 1 to 64 letters, digits, '-', '_' or '.', starting with a
// letter or digit.
bool isUsableThemeID(std::string_view id);

}  // namespace tapwell

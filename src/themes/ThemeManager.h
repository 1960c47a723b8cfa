#pragma once
// The theme catalogue: every folder directly inside the resource folder that holds a
// "theme.json", validated, one entry per folder in folder-name order. Built once at start-up on
// the main thread; a plain value afterwards.

#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Error.h"
#include "themes/Theme.h"
#include "themes/ThemeError.h"

namespace tapwell {

// One theme folder of the catalogue. Exactly one of `loaded` and `failure` is present; `theme` is
// present whenever the manifest decoded, so a theme that failed validation can still show its
// names and colours.
struct ThemeEntry {
    std::filesystem::path directory;
    std::optional<Theme> theme;
    std::optional<LoadedTheme> loaded;
    std::optional<std::string> failure;

    // The folder's own name (last path component).
    std::string folderName() const;

    bool operator==(const ThemeEntry&) const = default;
};

// Whether the process may read a file; the real check opens it. Tests substitute their own.
using ReadableCheck = std::function<bool(const std::filesystem::path&)>;
bool isReadableFile(const std::filesystem::path& path);

struct ThemeManager {
    std::vector<ThemeEntry> entries;  // ascending folder-name order

    // Lists and validates the theme folders in `resourceURL`. Fails with the file system's error
    // when the folder cannot be listed.
    static std::expected<ThemeManager, Error> create(
        const std::filesystem::path& resourceURL, const ReadableCheck& readable = isReadableFile);

    // Reads, decodes and validates the theme in `directory`. Fails with the read error or the
    // decoder's error (both unchanged) or a ThemeError, at the first failed step.
    static std::expected<LoadedTheme, ThemeLoadError> load(
        const std::filesystem::path& directory, const ReadableCheck& readable = isReadableFile);
};

// The content rules of a decoded manifest for a folder named `folderName`, without touching the
// file system: schema version, id, sample pool size, alerts, gains, per-language names and ranks,
// colours. Tools that write manifests check them with this before writing.
std::optional<ThemeError> validateManifest(const Theme& theme, std::string_view folderName);

// The name order of the catalogue: Unicode code points of the NFC forms, no locale rules (plain
// ASCII sorts by bytes, so upper case before lower case).
bool folderNameLess(std::string_view a, std::string_view b);

// The order in which views list themes: entries whose manifest says `isDefault` first, then all
// the others (decoded or not), each group by folder name. Stable.
void sortForDisplay(std::vector<ThemeEntry>& entries);

}  // namespace tapwell

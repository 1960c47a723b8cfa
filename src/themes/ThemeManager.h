#pragma once
// The theme catalogue: every folder directly inside the resource folder that holds a
// "theme.json", validated, one entry per folder in folder-name order; then, the same way, the
// folders of the user's own themes (imported sound packs). Built once at start-up on the main
// thread; a plain value afterwards. Reading every sound file's header takes a while (a theme has
// dozens of files), so the application builds its catalogue without that step, starts its sound,
// and then reads the headers with `sampleFailure` away from the first key's way.

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
    bool isUserTheme = false;  // from the user's themes folder, not shipped with the program

    // The folder's own name (last path component).
    std::string folderName() const;

    bool operator==(const ThemeEntry&) const = default;
};

// Whether the process may read a file; the real check opens it. Tests substitute their own.
using ReadableCheck = std::function<bool(const std::filesystem::path&)>;
bool isReadableFile(const std::filesystem::path& path);

// Whether the catalogue reads the sound files' headers as it lists the themes, or leaves that to
// `ThemeManager::sampleFailure` later (the files are still checked to exist and be readable).
enum class SampleHeaders { read, later };

struct ThemeManager {
    // Bounds on what a folder may make the catalogue read: entries listed in one folder (beyond
    // it the folder is not scanned), theme folders loaded from one folder (the first by name),
    // and distinct sound files named by one manifest.
    static constexpr std::size_t maxFolderEntries = 10000;
    static constexpr std::size_t maxThemes = 256;
    static constexpr std::size_t maxSoundFiles = 512;

    // The built-in entries in ascending folder-name order, then the user's in the same order.
    std::vector<ThemeEntry> entries;
    // Why the user's themes folder could not be listed; a missing folder is no error.
    std::optional<Error> userFolderError;
    // What was left out because a folder holds more themes than `maxThemes`, one sentence each.
    std::vector<std::string> notes;

    // Lists and validates the theme folders in `resourceURL`. Fails with the file system's error
    // when the folder cannot be listed.
    static std::expected<ThemeManager, Error> create(
        const std::filesystem::path& resourceURL, const ReadableCheck& readable = isReadableFile);

    // The same, followed by the theme folders in `userFolder`. A user theme whose folder name is
    // that of a built-in theme folder is a failed entry: the built-in theme keeps its id.
    static std::expected<ThemeManager, Error> create(const std::filesystem::path& resourceURL,
                                                     const std::filesystem::path& userFolder,
                                                     const ReadableCheck& readable = isReadableFile,
                                                     SampleHeaders headers = SampleHeaders::read);

    // What the catalogue would have said of a theme it listed with `SampleHeaders::later`, once
    // the headers are read: the failure text of its entry, or none when every file can be played.
    static std::optional<std::string> sampleFailure(const LoadedTheme& loaded);

    // Reads, decodes and validates the theme in `directory`, then reads the header of every
    // sound file (see SampleFile.h). Fails with the read error or the decoder's error (both
    // unchanged), a ThemeError, or an error naming a sound file the engine could not play, at the
    // first failed step.
    static std::expected<LoadedTheme, ThemeLoadError> load(
        const std::filesystem::path& directory, const ReadableCheck& readable = isReadableFile);
};

// The user's own themes: $XDG_DATA_HOME/tapwell/themes (~/.local/share/tapwell/themes).
std::filesystem::path userThemesFolder();

// The failure text of a user theme whose id a built-in theme already has.
std::string builtInIDTakenText(std::string_view id);

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

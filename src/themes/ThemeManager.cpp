#include "themes/ThemeManager.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <utility>

#include "core/FileSystem.h"
#include "themes/SampleFile.h"
#include "themes/UnicodeText.h"

namespace tapwell {
namespace {

constexpr std::string_view manifestName = "theme.json";
constexpr std::array<std::string_view, 3> requiredLanguages{"en", "zh-Hans", "ja"};
constexpr std::size_t minimumKeyDownSamples = 6;
constexpr std::size_t rankCount = 6;
// A manifest is a few kilobytes; this only keeps a stray huge file from being read whole.
constexpr std::uintmax_t maxManifestBytes = 4 * 1024 * 1024;

// The last path component, ignoring a trailing separator ("/themes/glass/" is "glass").
std::string lastComponent(const std::filesystem::path& directory) {
    if (directory.has_filename()) {
        return directory.filename().string();
    }
    return directory.parent_path().filename().string();
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "#" and six hexadecimal digits, seven user-perceived characters in all.
bool isValidColor(std::string_view color) {
    if (graphemeCount(color) != 7 || !color.starts_with('#')) {
        return false;
    }
    std::string_view digits = dropFirstGrapheme(color);
    // A "#" fused with a combining mark is not the character "#".
    if (digits.size() != color.size() - 1) {
        return false;
    }
    return !digits.empty() && digits.size() <= 8 &&
           std::all_of(digits.begin(), digits.end(), isHexDigit);
}

template <typename Map>
const typename Map::mapped_type* entry(const Map& map, std::string_view key) {
    auto found = map.find(std::string(key));
    return found == map.end() ? nullptr : &found->second;
}

// A name that could reach outside the folder or that no file can carry. The NUL byte is refused
// too: the OS would read the name only up to it and check a different file.
bool isUnsafeFileName(std::string_view name) {
    return name.empty() || name == "." || name == ".." ||
           name.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos;
}

struct LoadAttempt {
    std::optional<Theme> decoded;  // present when the manifest decoded
    std::expected<LoadedTheme, ThemeLoadError> result;
};

// Reading a FIFO would block and reading a device might never end, so only regular files (links
// followed) of a sane size are read; directories are left to the read itself to report.
std::optional<Error> unreadableManifest(const std::filesystem::path& manifest) {
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(manifest, error);
    if (error || std::filesystem::is_directory(status)) {
        return std::nullopt;
    }
    if (!std::filesystem::is_regular_file(status)) {
        return Error{"posix", static_cast<int>(std::errc::invalid_argument),
                     manifest.string() + ": not a regular file"};
    }
    std::uintmax_t size = std::filesystem::file_size(manifest, error);
    if (!error && size > maxManifestBytes) {
        return Error{
            "posix", static_cast<int>(std::errc::file_too_large),
            manifest.string() + ": larger than " + std::to_string(maxManifestBytes) + " bytes"};
    }
    return std::nullopt;
}

// Failure texts end up in views and JSON output: kept valid UTF-8 even when a decoder message
// quotes broken bytes.
std::string failureText(const ThemeLoadError& error) {
    return toValidUtf8(describe(error));
}

LoadAttempt attemptLoad(const std::filesystem::path& directory, const ReadableCheck& readable,
                        SampleHeaders headers = SampleHeaders::read) {
    std::filesystem::path manifest = directory / manifestName;
    if (auto error = unreadableManifest(manifest)) {
        return {std::nullopt, std::unexpected(ThemeLoadError(*error))};
    }
    ReadResult read = readFile(manifest);
    if (!read.contents) {
        return {std::nullopt, std::unexpected(ThemeLoadError(read.error))};
    }
    std::expected<Theme, Error> decoded = decodeTheme(*read.contents);
    if (!decoded) {
        return {std::nullopt, std::unexpected(ThemeLoadError(decoded.error()))};
    }
    LoadAttempt attempt{std::move(*decoded), std::unexpected(ThemeLoadError(ThemeError{}))};
    const Theme& theme = *attempt.decoded;

    if (auto error = validateManifest(theme, lastComponent(directory))) {
        attempt.result = std::unexpected(ThemeLoadError(*error));
        return attempt;
    }
    const std::set<std::string> files = theme.sounds.allFiles();
    if (files.size() > ThemeManager::maxSoundFiles) {
        attempt.result = std::unexpected(
            ThemeLoadError(Error{"theme", static_cast<int>(std::errc::argument_list_too_long),
                                 "the manifest names " + std::to_string(files.size()) +
                                     " sound files; a theme may have at most " +
                                     std::to_string(ThemeManager::maxSoundFiles)}));
        return attempt;
    }
    for (const std::string& name : files) {
        if (isUnsafeFileName(name)) {
            attempt.result = std::unexpected(ThemeLoadError(ThemeError::invalidFile(name)));
            return attempt;
        }
        std::filesystem::path file = directory / name;
        std::error_code error;
        // Not following links: a sample must be a regular file inside the folder itself.
        std::filesystem::file_status status = std::filesystem::symlink_status(file, error);
        if (error || !std::filesystem::is_regular_file(status) || !readable(file)) {
            attempt.result = std::unexpected(ThemeLoadError(ThemeError::missingFile(name)));
            return attempt;
        }
    }
    // Headers only: what the sound engine would refuse when it prepares the theme.
    if (auto problem =
            headers == SampleHeaders::read ? checkThemeSamples(theme, directory) : std::nullopt) {
        attempt.result = std::unexpected(ThemeLoadError(*problem));
        return attempt;
    }
    attempt.result = LoadedTheme{theme, directory};
    return attempt;
}

}  // namespace

std::string ThemeEntry::folderName() const {
    return lastComponent(directory);
}

bool isReadableFile(const std::filesystem::path& path) {
    // Opening is the question the decoder will ask later; permission bits alone miss ACLs.
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return false;
    }
    std::fclose(file);
    return true;
}

std::optional<ThemeError> validateManifest(const Theme& theme, std::string_view folderName) {
    const ThemeError invalid = ThemeError::invalidManifest();
    if (theme.schemaVersion != 1) {
        return invalid;
    }
    if (theme.id != folderName) {
        return invalid;
    }
    std::set<std::string_view> distinctKeyDown(theme.sounds.keyDown.begin(),
                                               theme.sounds.keyDown.end());
    if (distinctKeyDown.size() < minimumKeyDownSamples) {
        return invalid;
    }
    if (theme.sounds.alerts.empty() || !theme.sounds.alerts.contains("rankUp")) {
        return invalid;
    }
    if (!std::isfinite(theme.mix.typingGainDb) || !std::isfinite(theme.mix.alertGainDb) ||
        !std::isfinite(theme.mix.keyUpRelativeDb)) {
        return invalid;
    }
    for (std::string_view language : requiredLanguages) {
        const std::string* name = entry(theme.name, language);
        const std::string* shortName = entry(theme.shortName, language);
        const std::vector<std::string>* ranks = entry(theme.ranks, language);
        if (!name || name->empty() || !shortName || shortName->empty() || !ranks ||
            ranks->size() != rankCount ||
            std::any_of(ranks->begin(), ranks->end(),
                        [](const std::string& r) { return r.empty(); })) {
            return invalid;
        }
    }
    const Theme::Colors& colors = theme.colors;
    for (const std::string* color :
         {&colors.accent, &colors.onAccent, &colors.tile, &colors.keycap, &colors.recap.background,
          &colors.recap.text, &colors.recap.secondary, &colors.recap.accent}) {
        if (!isValidColor(*color)) {
            return invalid;
        }
    }
    return std::nullopt;
}

std::expected<LoadedTheme, ThemeLoadError> ThemeManager::load(
    const std::filesystem::path& directory, const ReadableCheck& readable) {
    return attemptLoad(directory, readable).result;
}

namespace {

// The theme folders directly inside `folder`, validated, in folder-name order. Fails with the
// listing error.
std::expected<std::vector<ThemeEntry>, Error> scanFolder(const std::filesystem::path& folder,
                                                         const ReadableCheck& readable,
                                                         std::vector<std::string>& notes,
                                                         SampleHeaders headers) {
    std::error_code error;
    std::filesystem::directory_iterator iterator(folder, error);
    if (error) {
        return std::unexpected(Error::posix(error.value(), folder.string()));
    }
    struct Child {
        std::string name;
        std::filesystem::path path;
    };
    std::vector<Child> children;
    for (; iterator != std::filesystem::directory_iterator(); iterator.increment(error)) {
        if (error) {
            break;
        }
        if (children.size() == ThemeManager::maxFolderEntries) {
            return std::unexpected(
                Error{"posix", static_cast<int>(std::errc::argument_list_too_long),
                      folder.string() + " holds more than " +
                          std::to_string(ThemeManager::maxFolderEntries) +
                          " entries; a themes folder is far smaller, so it is not scanned"});
        }
        std::string name = iterator->path().filename().string();
        if (name.empty() || name.starts_with('.')) {
            continue;  // hidden
        }
        children.push_back({std::move(name), iterator->path()});
    }
    if (error) {
        return std::unexpected(Error::posix(error.value(), folder.string()));
    }
    std::sort(children.begin(), children.end(),
              [](const Child& a, const Child& b) { return folderNameLess(a.name, b.name); });

    std::vector<ThemeEntry> entries;
    std::size_t skipped = 0;
    for (const Child& child : children) {
        std::error_code existsError;
        // Plain files and language folders fall out here: nothing named theme.json below them.
        if (!std::filesystem::exists(child.path / manifestName, existsError)) {
            continue;
        }
        if (entries.size() == ThemeManager::maxThemes) {
            ++skipped;
            continue;
        }
        LoadAttempt attempt = attemptLoad(child.path, readable, headers);
        ThemeEntry entry;
        entry.directory = child.path;
        if (attempt.result) {
            entry.theme = attempt.result->theme;
            entry.loaded = std::move(*attempt.result);
        } else {
            entry.theme = std::move(attempt.decoded);
            entry.failure = failureText(attempt.result.error());
        }
        entries.push_back(std::move(entry));
    }
    if (skipped > 0) {
        notes.push_back(folder.string() + " holds " + std::to_string(entries.size() + skipped) +
                        " themes; only the first " + std::to_string(ThemeManager::maxThemes) +
                        " by name are offered");
    }
    return entries;
}

}  // namespace

namespace {

std::expected<ThemeManager, Error> createCatalogue(const std::filesystem::path& resourceURL,
                                                   const ReadableCheck& readable,
                                                   SampleHeaders headers) {
    ThemeManager manager;
    auto entries = scanFolder(resourceURL, readable, manager.notes, headers);
    if (!entries) {
        return std::unexpected(entries.error());
    }
    manager.entries = std::move(*entries);
    return manager;
}

}  // namespace

std::expected<ThemeManager, Error> ThemeManager::create(const std::filesystem::path& resourceURL,
                                                        const ReadableCheck& readable) {
    return createCatalogue(resourceURL, readable, SampleHeaders::read);
}

std::expected<ThemeManager, Error> ThemeManager::create(const std::filesystem::path& resourceURL,
                                                        const std::filesystem::path& userFolder,
                                                        const ReadableCheck& readable,
                                                        SampleHeaders headers) {
    auto manager = createCatalogue(resourceURL, readable, headers);
    if (!manager) {
        return manager;
    }
    std::error_code error;
    if (!std::filesystem::exists(userFolder, error) && !error) {
        return manager;
    }
    auto userEntries = scanFolder(userFolder, readable, manager->notes, headers);
    if (!userEntries) {
        manager->userFolderError = userEntries.error();
        return manager;
    }
    std::set<std::string> builtInFolders;
    for (const ThemeEntry& entry : manager->entries) {
        builtInFolders.insert(entry.folderName());
    }
    for (ThemeEntry& entry : *userEntries) {
        entry.isUserTheme = true;
        // The engine lets a later theme of the same id replace an earlier one; a user theme must
        // never take a built-in theme's place that way.
        if (builtInFolders.contains(entry.folderName())) {
            entry.loaded.reset();
            entry.failure = toValidUtf8(builtInIDTakenText(entry.folderName()));
        }
        manager->entries.push_back(std::move(entry));
    }
    return manager;
}

std::optional<std::string> ThemeManager::sampleFailure(const LoadedTheme& loaded) {
    if (auto problem = checkThemeSamples(loaded.theme, loaded.directory)) {
        return failureText(ThemeLoadError(*problem));
    }
    return std::nullopt;
}

std::filesystem::path userThemesFolder() {
    return dataHome() / "tapwell" / "themes";
}

std::string builtInIDTakenText(std::string_view id) {
    return "idTakenByBuiltInTheme(\"" + std::string(id) + "\")";
}

bool folderNameLess(std::string_view a, std::string_view b) {
    return compareCanonically(a, b) < 0;
}

void sortForDisplay(std::vector<ThemeEntry>& entries) {
    // Keyed by (not default, folder name): a strict weak order that gives exactly "defaults first,
    // then everything else, each by folder name", whatever order the input is in.
    struct Keyed {
        bool notDefault;
        std::string name;
        ThemeEntry entry;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(entries.size());
    for (ThemeEntry& entry : entries) {
        bool isDefault = entry.theme && entry.theme->isDefault;
        std::string name = entry.folderName();
        keyed.push_back({!isDefault, std::move(name), std::move(entry)});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.notDefault != b.notDefault) {
            return !a.notDefault;
        }
        return folderNameLess(a.name, b.name);
    });
    entries.clear();
    for (Keyed& item : keyed) {
        entries.push_back(std::move(item.entry));
    }
}

}  // namespace tapwell

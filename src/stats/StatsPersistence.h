#pragma once
// The statistics on disk: one small JSON file per day in one folder, written atomically, read back
// with validation, and moved aside (never overwritten) when damaged. Also the export format.
// Called only from the statistics store's queue.
//
// Typing hours are private: the folder is created for its owner only (0700, with the parent
// folders it creates) and every file is written 0600.

#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Error.h"
#include "core/FileSystem.h"
#include "stats/DailyStats.h"

namespace tapwell {

class StatsPersistence {
  public:
    // Error domain and code of a file that holds no valid day record.
    static constexpr const char* errorDomain = "stats";
    static constexpr std::int64_t fileReadCorruptFile = 259;

    // `writeFile` defaults to writeFileAtomically.
    explicit StatsPersistence(std::filesystem::path directory, FileWriter writeFile = {});

    // $XDG_DATA_HOME/Tapwell/stats.
    static std::filesystem::path defaultDirectory();

    const std::filesystem::path& directory() const { return directory_; }
    std::filesystem::path fileFor(std::string_view day) const;

    // Writes the day file of `stats.date`, creating the folder first when needed.
    std::optional<Error> save(const DailyStats& stats) const;

    // The record of `day`, or no value when there is no file or a damaged file was moved aside
    // (then `setAside`, when given, receives where it went). Fails only when a damaged file could
    // not be moved aside.
    std::expected<std::optional<DailyStats>, Error> load(
        const std::string& day, std::filesystem::path* setAside = nullptr) const;

    // Takes group and other access away from the folder (and its parent for the default folder)
    // and every file in it, for statistics written by older versions. Returns how many were
    // narrowed and the first error.
    std::pair<int, std::optional<Error>> narrowToOwner() const;

    // Removes the temporary files of saves that a killed process left half-written (the day
    // files themselves are replaced only when whole). Returns how many went.
    int removeUnfinishedSaves() const;

    // The damaged files moved aside so far, sorted by name.
    std::vector<std::filesystem::path> quarantinedFiles() const;

    // "<day>.corrupt-<UUID>.json" with a fresh upper-case UUID.
    static std::string quarantineName(std::string_view day);
    static bool isQuarantineName(std::string_view fileName);

    // One line, sorted keys, no whitespace.
    static std::string encode(const DailyStats& stats);
    // The six keys are required with their JSON types; other keys are ignored. The record is not
    // checked with isValid here.
    static std::optional<DailyStats> decode(std::string_view text);
    // A pretty-printed array in the given order, keys sorted within each object.
    static std::string encodeExport(const std::vector<DailyStats>& records);

    static Error corruptFileError(const std::filesystem::path& file, std::string_view reason);

  private:
    std::filesystem::path directory_;
    FileWriter writeFile_;
};

}  // namespace tapwell

#pragma once
// Small file helpers shared by the stores. Every write is atomic: a temporary file in the same
// folder, flushed to disk, then renamed over the target.

#include <cstddef>
#include <expected>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "core/Error.h"

namespace tapwell {

// Writes `contents` to `path` atomically with the given permission bits. Returns the error on
// failure, in which case `path` is unchanged.
std::optional<Error> writeFileAtomically(
    const std::filesystem::path& path, std::string_view contents,
    std::filesystem::perms permissions = std::filesystem::perms::owner_read |
                                         std::filesystem::perms::owner_write |
                                         std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read);

// What writes a whole file atomically (writeFileAtomically); a parameter of the stores so that
// tests can make writes fail.
using FileWriter = std::function<std::optional<Error>(
    const std::filesystem::path&, std::string_view contents, std::filesystem::perms)>;

// Read and write for the owner only: what the program keeps about its user.
inline constexpr std::filesystem::perms ownerOnlyFile =
    std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;

struct ReadResult {
    std::optional<std::string> contents;  // absent on error
    Error error;                          // set when contents is absent
};
// A file longer than `maxBytes` is not read: the error is EFBIG, before any memory is spent on it.
ReadResult readFile(const std::filesystem::path& path,
                    std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

// Creates `folder` and its parents; the folders it creates get `permissions` (less the umask).
// Returns the error on failure, also when something other than a folder is in the way.
std::optional<Error> createFolders(
    const std::filesystem::path& folder,
    std::filesystem::perms permissions = std::filesystem::perms::all);

// Takes group and other access away from `path` when it exists with the given type. A sticky
// folder (such as /tmp) is shared by design and left alone. Returns whether anything changed.
std::expected<bool, Error> narrowToOwner(const std::filesystem::path& path,
                                         std::filesystem::file_type type);

// $XDG_DATA_HOME or ~/.local/share; $XDG_CONFIG_HOME or ~/.config.
std::filesystem::path dataHome();
std::filesystem::path configHome();

}  // namespace tapwell

namespace tapwell {

// An exclusive advisory lock on a file (created when missing), held until the object goes.
class FileLock {
  public:
    static std::optional<FileLock> acquire(const std::filesystem::path& lockFile, Error* error);
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&&) = delete;
    ~FileLock();

  private:
    explicit FileLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

}  // namespace tapwell

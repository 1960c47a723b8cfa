#pragma once
// The user's Downloads folder as the XDG user directories define it: XDG_DOWNLOAD_DIR in
// $XDG_CONFIG_HOME/user-dirs.dirs (values "$HOME/..." or absolute, shell-quoted), ~/Downloads when
// it is not set there. A Downloads entry that points at the home folder itself means the user
// switched the folder off: there is none then.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tapwell {

// The XDG_DOWNLOAD_DIR value in the text of a user-dirs.dirs file, resolved against `home`; the
// last valid assignment wins. Absent when the file sets none.
std::optional<std::filesystem::path> parseXdgDownloadDir(std::string_view userDirsText,
                                                         const std::filesystem::path& home);

// From explicit environment values (absent = unset).
std::optional<std::filesystem::path> xdgDownloadsFolder(
    const std::optional<std::string>& home, const std::optional<std::string>& configHome);

// From this process's $HOME and $XDG_CONFIG_HOME. Absent without a usable $HOME.
std::optional<std::filesystem::path> xdgDownloadsFolder();

}  // namespace tapwell

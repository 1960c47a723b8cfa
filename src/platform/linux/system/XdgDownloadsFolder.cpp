#include "platform/linux/system/XdgDownloadsFolder.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tapwell {

namespace fs = std::filesystem;

namespace {

std::string_view skipBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    return text;
}

// One line "XDG_DOWNLOAD_DIR="..."" with the value's quoting undone; absent for any other line.
std::optional<fs::path> parseLine(std::string_view line, const fs::path& home) {
    line = skipBlanks(line);
    constexpr std::string_view name = "XDG_DOWNLOAD_DIR";
    if (!line.starts_with(name)) {
        return std::nullopt;
    }
    line = skipBlanks(line.substr(name.size()));
    if (!line.starts_with('=')) {
        return std::nullopt;
    }
    line = skipBlanks(line.substr(1));
    if (!line.starts_with('"')) {
        return std::nullopt;
    }
    line.remove_prefix(1);

    bool relativeToHome = false;
    if (line.starts_with("$HOME")) {
        relativeToHome = true;
        line.remove_prefix(5);
        if (!line.empty() && line.front() != '/' && line.front() != '"') {
            return std::nullopt;  // "$HOMEX" is not a home-relative value
        }
    } else if (!line.starts_with('/')) {
        return std::nullopt;  // only "$HOME/..." and absolute values are valid
    }

    std::string value;
    bool closed = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\' && i + 1 < line.size()) {
            value.push_back(line[++i]);
        } else if (c == '"') {
            closed = true;
            break;
        } else {
            value.push_back(c);
        }
    }
    if (!closed) {
        return std::nullopt;
    }
    if (relativeToHome) {
        while (value.starts_with('/')) {
            value.erase(0, 1);
        }
        return (value.empty() ? home : home / value).lexically_normal();
    }
    return fs::path(value).lexically_normal();
}

fs::path withoutTrailingSeparator(fs::path path) {
    auto text = path.string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

}  // namespace

std::optional<fs::path> parseXdgDownloadDir(std::string_view userDirsText, const fs::path& home) {
    std::optional<fs::path> result;
    while (!userDirsText.empty()) {
        const auto end = userDirsText.find('\n');
        const auto line = userDirsText.substr(0, end);
        userDirsText =
            end == std::string_view::npos ? std::string_view{} : userDirsText.substr(end + 1);
        if (auto path = parseLine(line, home)) {
            result = std::move(path);
        }
    }
    return result;
}

std::optional<fs::path> xdgDownloadsFolder(const std::optional<std::string>& home,
                                           const std::optional<std::string>& configHome) {
    if (!home || home->empty() || !fs::path(*home).is_absolute()) {
        return std::nullopt;
    }
    const fs::path homePath = withoutTrailingSeparator(fs::path(*home).lexically_normal());
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base directory rules say.
    const fs::path config =
        configHome && !configHome->empty() && fs::path(*configHome).is_absolute()
            ? fs::path(*configHome)
            : homePath / ".config";

    std::optional<fs::path> folder;
    if (std::ifstream in{config / "user-dirs.dirs"}) {
        std::stringstream text;
        text << in.rdbuf();
        folder = parseXdgDownloadDir(text.str(), homePath);
    }
    if (!folder) {
        return homePath / "Downloads";
    }
    if (withoutTrailingSeparator(*folder) == homePath) {
        return std::nullopt;
    }
    return withoutTrailingSeparator(*folder);
}

std::optional<fs::path> xdgDownloadsFolder() {
    const auto env = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    };
    return xdgDownloadsFolder(env("HOME"), env("XDG_CONFIG_HOME"));
}

}  // namespace tapwell

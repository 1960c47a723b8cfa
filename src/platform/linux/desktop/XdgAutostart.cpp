#include "platform/linux/desktop/XdgAutostart.h"

#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <system_error>

#include "core/FileSystem.h"
#include "platform/linux/desktop/DesktopEntries.h"

namespace tapwell {

namespace fs = std::filesystem;

namespace {

bool startsProgram(const fs::path& entry) {
    const ReadResult read = readFile(entry);
    if (!read.contents) {
        return false;
    }
    const auto keys = DesktopEntries::parseGroup(*read.contents);
    const auto value = [&keys](const char* key) {
        const auto it = keys.find(key);
        return it != keys.end() ? it->second : std::string();
    };
    return value("Hidden") != "true" && value("X-GNOME-Autostart-enabled") != "false";
}

std::optional<fs::path> systemEntry(const std::vector<fs::path>& folders) {
    for (const fs::path& folder : folders) {
        std::error_code error;
        const fs::path entry = folder / "autostart" / XdgAutostart::fileName;
        if (fs::exists(entry, error)) {
            return entry;
        }
    }
    return std::nullopt;
}

}  // namespace

XdgAutostart::XdgAutostart(fs::path configHome, std::vector<fs::path> systemConfigFolders,
                           fs::path program)
    : configHome_(std::move(configHome)),
      systemConfigFolders_(std::move(systemConfigFolders)),
      program_(std::move(program)) {}

XdgAutostart XdgAutostart::forCurrentUser() {
    std::vector<fs::path> systemFolders;
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::stringstream list(dirs != nullptr && *dirs != '\0' ? dirs : "/etc/xdg");
    for (std::string folder; std::getline(list, folder, ':');) {
        if (!folder.empty() && folder.front() == '/') {
            systemFolders.emplace_back(folder);
        }
    }
    // The installed program survives rebuilds and moves of a build tree; a program run from
    // elsewhere (a build tree) starts itself.
    std::error_code error;
    fs::path program = fs::path(TAPWELL_INSTALLED_PROGRAM);
    if (!fs::exists(program, error) || ::access(program.c_str(), X_OK) != 0) {
        program = fs::read_symlink("/proc/self/exe", error);
    }
    return XdgAutostart(configHome(), std::move(systemFolders), std::move(program));
}

fs::path XdgAutostart::userEntry() const {
    return configHome_ / "autostart" / fileName;
}

LoginItem::Status XdgAutostart::status() const {
    std::error_code error;
    if (fs::exists(userEntry(), error)) {
        return {startsProgram(userEntry()), false};
    }
    const auto system = systemEntry(systemConfigFolders_);
    return {system && startsProgram(*system), false};
}

std::string XdgAutostart::execValue(const fs::path& program) {
    const std::string text = program.string();
    std::string quoted;
    bool needsQuotes = false;
    for (char c : text) {
        if (std::string_view(" \t\n\"'\\><~|&;$*?#()`").find(c) != std::string_view::npos) {
            needsQuotes = true;
        }
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c == '%' ? std::string("%%") : std::string(1, c);
    }
    if (needsQuotes) {
        quoted = '"' + quoted + '"';
    }
    // The value itself is a string of the entry, whose own escape character is the backslash.
    std::string value;
    for (char c : quoted) {
        value += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    return value;
}

std::optional<Error> XdgAutostart::setEnabled(bool enabled) {
    const fs::path entry = userEntry();
    if (!enabled && !systemEntry(systemConfigFolders_)) {
        std::error_code error;
        fs::remove(entry, error);
        if (error) {
            return Error{"posix", error.value(), entry.string() + ": " + error.message()};
        }
        return std::nullopt;
    }
    if (auto error = createFolders(entry.parent_path())) {
        return error;
    }
    std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Tapwell\n"
        "Comment=Typing sounds, private typing statistics and gentle break reminders\n"
        "Exec=" +
        execValue(program_) +
        "\n"
        "Icon=com.tapwell.Tapwell\n"
        "Terminal=false\n";
    text += enabled ? "X-GNOME-Autostart-enabled=true\n" : "Hidden=true\n";
    return writeFileAtomically(entry, text);
}

}  // namespace tapwell

#include "platform/linux/desktop/DesktopEntries.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>
#include <sstream>
#include <system_error>

#include "core/FileSystem.h"

namespace tapwell {

namespace fs = std::filesystem;

namespace {

// An application unknown at the last reading may have been installed since; reading again at
// most this often keeps a stream of unknown windows cheap.
constexpr auto rescanInterval = std::chrono::seconds(10);

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string unescape(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            switch (next) {
                case 's':
                    out += ' ';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'r':
                    out += '\r';
                    break;
                default:
                    out += next;  // "\\" and, in lists, "\;"
            }
        } else {
            out += value[i];
        }
    }
    return out;
}

std::string trim(std::string_view text) {
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) {
        return {};
    }
    const auto end = text.find_last_not_of(" \t\r");
    return std::string(text.substr(begin, end - begin + 1));
}

void collect(const fs::path& folder, const fs::path& base, std::set<std::string>& seen,
             std::vector<DesktopEntries::Entry>& out, int depth) {
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error || depth > 4) {
        return;
    }
    std::vector<fs::path> children;
    for (const auto& child : it) {
        children.push_back(child.path());
    }
    std::sort(children.begin(), children.end());
    for (const fs::path& path : children) {
        if (fs::is_directory(path, error)) {
            collect(path, base, seen, out, depth + 1);
            continue;
        }
        if (path.extension() != ".desktop") {
            continue;
        }
        std::string id = fs::relative(path, base, error).replace_extension().string();
        std::replace(id.begin(), id.end(), '/', '-');
        if (!seen.insert(id).second) {
            continue;  // an earlier folder has it
        }
        const ReadResult read = readFile(path);
        if (!read.contents) {
            continue;
        }
        if (auto entry = DesktopEntries::parse(*read.contents, id)) {
            out.push_back(std::move(*entry));
        }
    }
}

}  // namespace

DesktopEntries::DesktopEntries(std::vector<fs::path> applicationFolders)
    : folders_(std::move(applicationFolders)) {}

std::vector<fs::path> DesktopEntries::defaultFolders() {
    std::vector<fs::path> folders{dataHome() / "applications"};
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::stringstream list(dirs != nullptr && *dirs != '\0' ? dirs : "/usr/local/share:/usr/share");
    for (std::string folder; std::getline(list, folder, ':');) {
        if (!folder.empty() && folder.front() == '/') {
            folders.push_back(fs::path(folder) / "applications");
        }
    }
    // Flatpak adds its exports to XDG_DATA_DIRS through a profile script that a session started
    // before its installation never ran.
    for (const fs::path& exports : {dataHome() / "flatpak/exports/share/applications",
                                    fs::path("/var/lib/flatpak/exports/share/applications")}) {
        if (std::find(folders.begin(), folders.end(), exports) == folders.end()) {
            folders.push_back(exports);
        }
    }
    return folders;
}

std::map<std::string, std::string> DesktopEntries::parseGroup(std::string_view text) {
    std::map<std::string, std::string> keys;
    bool inGroup = false;
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
        const std::string trimmed = trim(line);
        if (trimmed.empty() || trimmed.front() == '#') {
            continue;
        }
        if (trimmed.front() == '[') {
            inGroup = trimmed == "[Desktop Entry]";
            continue;
        }
        const auto equals = trimmed.find('=');
        if (!inGroup || equals == std::string::npos) {
            continue;
        }
        keys.emplace(trim(std::string_view(trimmed).substr(0, equals)),
                     unescape(trim(std::string_view(trimmed).substr(equals + 1))));
    }
    return keys;
}

std::optional<DesktopEntries::Entry> DesktopEntries::parse(std::string_view text, std::string id) {
    const auto keys = parseGroup(text);
    const auto value = [&keys](const std::string& key) {
        const auto it = keys.find(key);
        return it != keys.end() ? it->second : std::string();
    };
    if (value("Type") != "Application" || value("Hidden") == "true") {
        return std::nullopt;
    }
    Entry entry;
    entry.id = std::move(id);
    entry.icon = value("Icon");
    entry.startupWMClass = value("StartupWMClass");
    entry.listed = value("NoDisplay") != "true";
    for (const auto& [key, name] : keys) {
        if (key == "Name") {
            entry.names[""] = name;
        } else if (key.starts_with("Name[") && key.ends_with("]")) {
            entry.names[key.substr(5, key.size() - 6)] = name;
        }
    }
    if (!entry.names.contains("")) {
        return std::nullopt;  // Name is required
    }
    return entry;
}

std::string DesktopEntries::localizedName(const Entry& entry, std::string_view language) {
    // The locales of the key names, most specific first, for each interface language.
    static const std::map<std::string_view, std::vector<std::string>> candidates = {
        {"zh-Hans", {"zh_CN", "zh_SG", "zh_Hans", "zh"}},
        {"ja", {"ja_JP", "ja"}},
        {"en", {"en_US", "en"}},
    };
    if (const auto it = candidates.find(language); it != candidates.end()) {
        for (const std::string& locale : it->second) {
            if (const auto name = entry.names.find(locale); name != entry.names.end()) {
                return name->second;
            }
        }
    }
    return entry.names.at("");
}

void DesktopEntries::scan() {
    std::set<std::string> seen;
    std::vector<Entry> entries;
    for (const fs::path& folder : folders_) {
        collect(folder, folder, seen, entries, 0);
    }
    entries_ = std::move(entries);
    scannedAt_ = std::chrono::steady_clock::now();
}

std::vector<InstalledApp> DesktopEntries::list(std::string_view language) {
    std::lock_guard lock(mutex_);
    scan();
    std::vector<InstalledApp> apps;
    for (const Entry& entry : entries_) {
        if (entry.listed) {
            apps.push_back({entry.id, localizedName(entry, language), entry.icon});
        }
    }
    std::stable_sort(apps.begin(), apps.end(), [](const InstalledApp& a, const InstalledApp& b) {
        return lowercase(a.name) < lowercase(b.name);
    });
    return apps;
}

std::optional<std::string> DesktopEntries::match(const std::string& instance,
                                                 const std::string& className) const {
    for (const Entry& entry : entries_) {
        if (!entry.startupWMClass.empty() &&
            (entry.startupWMClass == className || entry.startupWMClass == instance)) {
            return entry.id;
        }
    }
    const std::string lowerClass = lowercase(className);
    const std::string lowerInstance = lowercase(instance);
    for (const Entry& entry : entries_) {
        const std::string id = lowercase(entry.id);
        if (id == lowerClass || id == lowerInstance) {
            return entry.id;
        }
    }
    return std::nullopt;
}

std::string DesktopEntries::applicationID(const std::string& instance,
                                          const std::string& className) {
    std::lock_guard lock(mutex_);
    if (!scannedAt_) {
        scan();
    }
    if (auto id = match(instance, className)) {
        return *id;
    }
    if (std::chrono::steady_clock::now() - *scannedAt_ >= rescanInterval) {
        scan();
        if (auto id = match(instance, className)) {
            return *id;
        }
    }
    return className.empty() ? instance : className;
}

}  // namespace tapwell

#include "core/TimeZoneDatabase.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "core/FileSystem.h"
#include "core/TzifReader.h"

namespace tapwell {

namespace fs = std::filesystem;

namespace {

bool isIDCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '+' || c == '.';
}

std::string_view withoutCopyPrefix(std::string_view id) {
    for (const std::string_view prefix : {"posix/", "right/"}) {
        if (id.starts_with(prefix)) {
            return id.substr(prefix.size());
        }
    }
    return id;
}

}  // namespace

TimeZoneDatabase TimeZoneDatabase::system() {
    const char* folder = std::getenv("TZDIR");
    return TimeZoneDatabase(folder != nullptr && *folder != '\0' ? fs::path(folder)
                                                                 : fs::path("/usr/share/zoneinfo"));
}

bool TimeZoneDatabase::isZoneID(std::string_view id) {
    constexpr std::size_t longest = 255;
    if (id.empty() || id.size() > longest) {
        return false;
    }
    std::size_t start = 0;
    while (start <= id.size()) {
        const std::size_t end = std::min(id.find('/', start), id.size());
        const std::string_view name = id.substr(start, end - start);
        if (name.empty() || name == "." || name == "..") {
            return false;
        }
        for (const char c : name) {
            if (!isIDCharacter(c)) {
                return false;
            }
        }
        start = end + 1;
    }
    return true;
}

std::optional<ZoneRules> TimeZoneDatabase::load(std::string_view id) const {
    if (!isZoneID(id)) {
        return std::nullopt;
    }
    const ReadResult read = readFile(folder_ / id, TzifReader::maxFileSize);
    if (!read.contents) {
        return std::nullopt;
    }
    return TzifReader::read(*read.contents);
}

std::optional<std::string> TimeZoneDatabase::idOfName(std::string_view name) const {
    const std::string_view id = withoutCopyPrefix(name);
    std::error_code error;
    if (!isZoneID(id) || !fs::is_regular_file(folder_ / id, error)) {
        return std::nullopt;
    }
    return std::string(id);
}

std::optional<std::string> TimeZoneDatabase::idOfPath(const fs::path& path) const {
    std::error_code error;
    const std::string target = fs::canonical(path, error).string();
    if (error) {
        return std::nullopt;
    }
    std::string_view tail;
    const std::string folder = fs::canonical(folder_, error).string();
    if (!error && target.size() > folder.size() + 1 && target.starts_with(folder) &&
        target[folder.size()] == '/') {
        tail = std::string_view(target).substr(folder.size() + 1);
    } else if (const std::size_t at = target.find("/zoneinfo/"); at != std::string::npos) {
        tail = std::string_view(target).substr(at + std::string_view("/zoneinfo/").size());
    } else {
        return std::nullopt;
    }
    return idOfName(tail);
}

std::optional<std::string> TimeZoneDatabase::idOfContents(std::string_view bytes) const {
    // The folder holds some two thousand entries; the bound keeps a wrong $TZDIR (a home
    // folder, say) from costing a walk of the whole disk.
    constexpr int mostEntries = 20000;
    std::error_code error;
    fs::recursive_directory_iterator it(folder_, fs::directory_options::skip_permission_denied,
                                        error);
    std::optional<std::string> best;
    int visited = 0;
    for (; !error && it != fs::recursive_directory_iterator() && visited < mostEntries;
         it.increment(error), ++visited) {
        const fs::directory_entry& entry = *it;
        const std::string id = entry.path().lexically_relative(folder_).generic_string();
        std::error_code entryError;
        if (entry.is_directory(entryError) && (id == "posix" || id == "right")) {
            it.disable_recursion_pending();
            continue;
        }
        if (entry.symlink_status(entryError).type() != fs::file_type::regular ||
            entry.file_size(entryError) != bytes.size() || entryError || id == "localtime" ||
            id == "posixrules" || !isZoneID(id) || (best && *best <= id)) {
            continue;
        }
        const ReadResult read = readFile(entry.path(), TzifReader::maxFileSize);
        if (read.contents && *read.contents == bytes) {
            best = id;
        }
    }
    return best;
}

}  // namespace tapwell

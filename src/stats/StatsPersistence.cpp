#include "stats/StatsPersistence.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <system_error>

#include "core/FileSystem.h"
#include "core/Uuid.h"

namespace tapwell {

namespace {

using nlohmann::json;

constexpr std::string_view quarantineMarker = ".corrupt-";

json toJson(const DailyStats& stats) {
    // nlohmann::json keeps object keys in a std::map, so dumping sorts them.
    json object = json::object();
    object["breaks"] = stats.breaks;
    object["date"] = stats.date;
    object["focusSeconds"] = stats.focusSeconds;
    object["hourly"] = stats.hourly;
    object["keystrokes"] = stats.keystrokes;
    object["topKpm"] = stats.topKpm;
    return object;
}

// A JSON integer within the 64-bit signed range; a number written with a fraction part of zero
// (such as 12.0) is accepted as well.
std::optional<std::int64_t> readInteger(const json& value) {
    if (value.is_number_unsigned()) {
        const auto unsignedValue = value.get<std::uint64_t>();
        if (unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(unsignedValue);
    }
    if (value.is_number_integer()) {
        return value.get<std::int64_t>();
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        // 2^63 is the first double past the signed range.
        if (std::isfinite(number) && std::trunc(number) == number &&
            number >= -9.2233720368547758e18 && number < 9.2233720368547758e18) {
            return static_cast<std::int64_t>(number);
        }
    }
    return std::nullopt;
}

std::optional<Error> errorOf(const std::error_code& code, const std::filesystem::path& path) {
    if (!code) {
        return std::nullopt;
    }
    return Error{"posix", code.value(), path.string() + ": " + code.message()};
}

// Day identifiers come from the calendar; anything that could step outside the folder is refused.
bool isSafeDay(std::string_view day) {
    return !day.empty() && day != "." && day != ".." && day.find('/') == std::string_view::npos &&
           day.find('\0') == std::string_view::npos;
}

}  // namespace

StatsPersistence::StatsPersistence(std::filesystem::path directory, FileWriter writeFile)
    : directory_(std::move(directory)),
      writeFile_(writeFile ? std::move(writeFile) : FileWriter(writeFileAtomically)) {}

std::filesystem::path StatsPersistence::defaultDirectory() {
    return dataHome() / "Tapwell" / "stats";
}

std::filesystem::path StatsPersistence::fileFor(std::string_view day) const {
    return directory_ / (std::string(day) + ".json");
}

std::string StatsPersistence::quarantineName(std::string_view day) {
    return std::string(day) + std::string(quarantineMarker) + makeUuid() + ".json";
}

bool StatsPersistence::isQuarantineName(std::string_view fileName) {
    return fileName.find(quarantineMarker) != std::string_view::npos;
}

std::string StatsPersistence::encode(const DailyStats& stats) {
    return toJson(stats).dump();
}

std::optional<DailyStats> StatsPersistence::decode(std::string_view text) {
    const json object = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!object.is_object()) {
        return std::nullopt;
    }
    auto field = [&object](const char* key) -> const json* {
        const auto it = object.find(key);
        return it == object.end() ? nullptr : &*it;
    };
    const json* breaks = field("breaks");
    const json* date = field("date");
    const json* focus = field("focusSeconds");
    const json* hourly = field("hourly");
    const json* keystrokes = field("keystrokes");
    const json* topKpm = field("topKpm");
    if (!breaks || !date || !focus || !hourly || !keystrokes || !topKpm) {
        return std::nullopt;
    }
    if (!date->is_string() || !focus->is_number() || !hourly->is_array()) {
        return std::nullopt;
    }
    DailyStats stats;
    stats.date = date->get<std::string>();
    stats.focusSeconds = focus->get<double>();
    const auto breaksValue = readInteger(*breaks);
    const auto keystrokesValue = readInteger(*keystrokes);
    const auto topKpmValue = readInteger(*topKpm);
    if (!breaksValue || !keystrokesValue || !topKpmValue) {
        return std::nullopt;
    }
    stats.breaks = *breaksValue;
    stats.keystrokes = *keystrokesValue;
    stats.topKpm = *topKpmValue;
    stats.hourly.clear();
    stats.hourly.reserve(hourly->size());
    for (const json& entry : *hourly) {
        const auto count = readInteger(entry);
        if (!count) {
            return std::nullopt;
        }
        stats.hourly.push_back(*count);
    }
    return stats;
}

std::string StatsPersistence::encodeExport(const std::vector<DailyStats>& records) {
    json array = json::array();
    for (const DailyStats& record : records) {
        array.push_back(toJson(record));
    }
    return array.dump(2) + "\n";
}

Error StatsPersistence::corruptFileError(const std::filesystem::path& file,
                                         std::string_view reason) {
    return Error{errorDomain, fileReadCorruptFile,
                 "The statistics file " + file.filename().string() + " is damaged (" +
                     std::string(reason) + ")"};
}

std::optional<Error> StatsPersistence::save(const DailyStats& stats) const {
    if (!isSafeDay(stats.date)) {
        return Error{errorDomain, EINVAL, "Not a day identifier: \"" + stats.date + "\""};
    }
    if (auto error = createFolders(directory_, std::filesystem::perms::owner_all)) {
        return error;
    }
    return writeFile_(fileFor(stats.date), encode(stats), ownerOnlyFile);
}

std::expected<std::optional<DailyStats>, Error> StatsPersistence::load(
    const std::string& day, std::filesystem::path* setAside) const {
    if (!isSafeDay(day)) {
        return std::unexpected(Error{errorDomain, EINVAL, "Not a day identifier: \"" + day + "\""});
    }
    const std::filesystem::path file = fileFor(day);
    std::error_code code;
    // A dangling link counts as no file: the next save replaces it.
    if (!std::filesystem::exists(file, code)) {
        return std::optional<DailyStats>{};
    }
    ReadResult read = readFile(file);
    if (read.contents) {
        std::optional<DailyStats> stats = decode(*read.contents);
        if (stats && stats->date == day && stats->isValid()) {
            return stats;
        }
    }
    // Damaged: keep it under a new name, and start the day afresh.
    const std::filesystem::path aside = directory_ / quarantineName(day);
    std::filesystem::rename(file, aside, code);
    if (code) {
        return std::unexpected(*errorOf(code, file));
    }
    if (setAside != nullptr) {
        *setAside = aside;
    }
    return std::optional<DailyStats>{};
}

int StatsPersistence::removeUnfinishedSaves() const {
    std::vector<std::filesystem::path> unfinished;
    std::error_code code;
    for (std::filesystem::directory_iterator it(directory_, code), end; !code && it != end;
         it.increment(code)) {
        // writeFileAtomically's temporaries: "." + the file's name + "." + six random letters.
        const std::string name = it->path().filename().string();
        const std::size_t json = name.rfind(".json.");
        if (name.starts_with('.') && json != std::string::npos && name.size() == json + 12) {
            unfinished.push_back(it->path());
        }
    }
    int removed = 0;
    for (const std::filesystem::path& file : unfinished) {
        removed += std::filesystem::remove(file, code) ? 1 : 0;
    }
    return removed;
}

std::vector<std::filesystem::path> StatsPersistence::quarantinedFiles() const {
    std::vector<std::filesystem::path> files;
    std::error_code code;
    for (std::filesystem::directory_iterator it(directory_, code), end; !code && it != end;
         it.increment(code)) {
        if (isQuarantineName(it->path().filename().string())) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::pair<int, std::optional<Error>> StatsPersistence::narrowToOwner() const {
    int narrowed = 0;
    std::optional<Error> firstError;
    auto narrow = [&](const std::filesystem::path& path, std::filesystem::file_type type) {
        const auto result = tapwell::narrowToOwner(path, type);
        if (!result && !firstError) {
            firstError = result.error();
        }
        narrowed += result.value_or(false) ? 1 : 0;
    };
    // The program's own data folder holds nothing but statistics; a folder given by a caller
    // may be anyone's.
    if (directory_ == defaultDirectory()) {
        narrow(directory_.parent_path(), std::filesystem::file_type::directory);
    }
    narrow(directory_, std::filesystem::file_type::directory);
    std::error_code code;
    for (std::filesystem::directory_iterator it(directory_, code), end; !code && it != end;
         it.increment(code)) {
        narrow(it->path(), std::filesystem::file_type::regular);
    }
    return {narrowed, firstError};
}

}  // namespace tapwell

#include "presentation/StringTable.h"

#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "core/FileSystem.h"
#include "core/Log.h"

namespace tapwell {

namespace fs = std::filesystem;

const char* toString(StringTableError::Kind kind) {
    switch (kind) {
        case StringTableError::Kind::missing:
            return "missing";
        case StringTableError::Kind::unreadable:
            return "unreadable";
        case StringTableError::Kind::malformed:
            return "malformed";
    }
    return "unknown";
}

std::string StringTableError::description() const {
    const std::string name = "String table " + file.string();
    switch (kind) {
        case Kind::missing:
            return name + " does not exist";
        case Kind::unreadable:
            return name + " cannot be read: " + detail;
        case Kind::malformed:
            return name + " is malformed: " + detail;
    }
    return name + ": " + detail;
}

std::expected<StringTable, std::string> StringTable::parse(std::string_view text) {
    using nlohmann::json;
    // The parser keeps the last of two equal keys without a word; a translator who pasted a key
    // twice should hear about it instead of seeing one of the two texts vanish.
    std::set<std::string> seen;
    std::optional<std::string> duplicate;
    const json::parser_callback_t watchKeys = [&](int depth, json::parse_event_t event,
                                                  json& parsed) {
        if (event == json::parse_event_t::key && depth == 1 && !duplicate) {
            const auto& key = parsed.get_ref<const std::string&>();
            if (!seen.insert(key).second) {
                duplicate = key;
            }
        }
        return true;
    };

    json document;
    try {
        document = json::parse(text.begin(), text.end(), watchKeys);
    } catch (const json::exception& error) {
        // A syntax error, or a number beyond the range of a double (out_of_range).
        // nlohmann's text starts with its own exception id; keep the readable part.
        std::string message = error.what();
        if (const auto close = message.find("] "); close != std::string::npos) {
            message.erase(0, close + 2);
        }
        return std::unexpected("not valid JSON (" + message + ")");
    }
    if (duplicate) {
        return std::unexpected("the key \"" + *duplicate + "\" appears more than once");
    }
    if (!document.is_object()) {
        return std::unexpected(std::string("the top level is a JSON ") + document.type_name() +
                               ", not an object of texts");
    }

    StringTable table;
    for (const auto& [key, value] : document.items()) {
        if (!value.is_string()) {
            return std::unexpected("the value of \"" + key + "\" is a JSON " + value.type_name() +
                                   ", not a string");
        }
        table.entries_.emplace(key, value.get<std::string>());
    }
    return table;
}

std::expected<StringTable, StringTableError> StringTable::load(const fs::path& file) {
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (!fs::exists(status)) {
        if (ec && ec != std::errc::no_such_file_or_directory) {
            return std::unexpected(
                StringTableError{StringTableError::Kind::unreadable, file, ec.message()});
        }
        return std::unexpected(StringTableError{StringTableError::Kind::missing, file, {}});
    }
    if (!fs::is_regular_file(status)) {
        return std::unexpected(
            StringTableError{StringTableError::Kind::unreadable, file, "not a regular file"});
    }
    ReadResult read = readFile(file);
    if (!read.contents) {
        return std::unexpected(
            StringTableError{StringTableError::Kind::unreadable, file, read.error.description});
    }
    auto parsed = parse(*read.contents);
    if (!parsed) {
        return std::unexpected(
            StringTableError{StringTableError::Kind::malformed, file, std::move(parsed.error())});
    }
    return std::move(*parsed);
}

const std::string* StringTable::find(std::string_view key) const {
    const auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : &it->second;
}

std::vector<std::string> StringTable::keys() const {
    std::vector<std::string> result;
    result.reserve(entries_.size());
    for (const auto& entry : entries_) {
        result.push_back(entry.first);
    }
    return result;
}

namespace {

using SharedTable = std::shared_ptr<const StringTable>;

// Localization values are built often (the menu bar builds one for each count it shows), so the
// tables are read once and kept until their file changes. Failures are kept too, so that a broken
// table is reported once rather than on every build.
class TableCache {
  public:
    static TableCache& shared() {
        static TableCache cache;
        return cache;
    }

    std::expected<SharedTable, StringTableError> load(const fs::path& file) {
        std::error_code ec;
        const auto modified = fs::last_write_time(file, ec);
        if (ec) {
            // Missing (the usual case for an absent language) or not even stat-able: nothing to
            // remember, and checking again next time is cheap.
            auto result = StringTable::load(file);
            if (result) {
                return std::make_shared<const StringTable>(std::move(*result));
            }
            report(result.error());
            return std::unexpected(std::move(result.error()));
        }
        const std::uintmax_t size = fs::file_size(file, ec);
        const std::uintmax_t sizeKey = ec ? static_cast<std::uintmax_t>(-1) : size;

        std::lock_guard guard(lock_);
        const std::string key = file.string();
        if (const auto it = entries_.find(key);
            it != entries_.end() && it->second.modified == modified && it->second.size == sizeKey) {
            return it->second.result;
        }
        Entry entry{modified, sizeKey, {}};
        if (auto result = StringTable::load(file)) {
            entry.result = std::make_shared<const StringTable>(std::move(*result));
        } else {
            report(result.error());
            entry.result = std::unexpected(std::move(result.error()));
        }
        auto& stored = entries_.insert_or_assign(key, std::move(entry)).first->second;
        return stored.result;
    }

  private:
    struct Entry {
        fs::file_time_type modified;
        std::uintmax_t size = 0;
        std::expected<SharedTable, StringTableError> result;
    };

    static void report(const StringTableError& error) {
        // A language without a table is a normal set-up (it reads English); a table that exists
        // but cannot be used is a packaging or translation fault worth a warning.
        if (error.kind == StringTableError::Kind::missing) {
            return;
        }
        logger(LogCategory::startup).warn("{}", error.description());
    }

    std::mutex lock_;
    std::unordered_map<std::string, Entry> entries_;
};

// A language code names a folder; anything that could step out of the resource folder is no
// language at all.
bool usableFolderName(std::string_view code) {
    return !code.empty() && code != "." && code != ".." &&
           code.find_first_of("/\\") == std::string_view::npos &&
           code.find('\0') == std::string_view::npos;
}

SharedTable tableIn(const fs::path& folder) {
    auto result = TableCache::shared().load(folder / StringTable::fileName);
    return result ? *result : nullptr;
}

}  // namespace

StringBundle StringBundle::open(const fs::path& resourceFolder, std::string_view languageCode) {
    constexpr std::string_view english = "en";
    StringBundle bundle;
    const auto languageFolder = [&](std::string_view code) {
        return resourceFolder / (std::string(code) + ".lproj");
    };

    if (usableFolderName(languageCode)) {
        const fs::path folder = languageFolder(languageCode);
        if (SharedTable table = tableIn(folder)) {
            bundle.folder_ = folder;
            bundle.table_ = std::move(table);
            if (languageCode != english) {
                bundle.fallback_ = tableIn(languageFolder(english));
            }
            return bundle;
        }
    }
    if (languageCode != english) {
        const fs::path folder = languageFolder(english);
        if (SharedTable table = tableIn(folder)) {
            bundle.folder_ = folder;
            bundle.table_ = std::move(table);
            return bundle;
        }
    }
    if (SharedTable table = tableIn(resourceFolder)) {
        bundle.folder_ = resourceFolder;
        bundle.table_ = std::move(table);
    }
    return bundle;
}

const std::string* StringBundle::find(std::string_view key) const {
    if (table_) {
        if (const std::string* text = table_->find(key)) {
            return text;
        }
    }
    if (fallback_) {
        return fallback_->find(key);
    }
    return nullptr;
}

std::string StringBundle::localizedString(std::string_view key) const {
    const std::string* text = find(key);
    return text ? *text : std::string(key);
}

}  // namespace tapwell

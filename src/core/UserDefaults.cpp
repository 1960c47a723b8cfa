#include "core/UserDefaults.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <limits>

#include "core/Base64.h"
#include "core/FileSystem.h"
#include "core/Log.h"

namespace tapwell {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr const char* dataTag = "$data";
constexpr const char* dateTag = "$date";

json encode(const DefaultsValue& value) {
    return std::visit(
        [](const auto& v) -> json {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, Bytes>) {
                return json{{dataTag, base64Encode(v)}};
            } else if constexpr (std::is_same_v<T, Date>) {
                return json{{dateTag, v.secondsSinceReferenceDate}};
            } else {
                return json(v);
            }
        },
        value);
}

std::optional<DefaultsValue> decode(const json& value) {
    switch (value.type()) {
        case json::value_t::boolean:
            return DefaultsValue{value.get<bool>()};
        case json::value_t::number_integer:
            return DefaultsValue{value.get<std::int64_t>()};
        case json::value_t::number_unsigned: {
            const auto u = value.get<std::uint64_t>();
            if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                return DefaultsValue{static_cast<double>(u)};
            }
            return DefaultsValue{static_cast<std::int64_t>(u)};
        }
        case json::value_t::number_float:
            return DefaultsValue{value.get<double>()};
        case json::value_t::string:
            return DefaultsValue{value.get<std::string>()};
        case json::value_t::object: {
            if (value.size() != 1) {
                return std::nullopt;
            }
            if (auto it = value.find(dataTag); it != value.end() && it->is_string()) {
                if (auto bytes = base64Decode(it->get<std::string>())) {
                    return DefaultsValue{std::move(*bytes)};
                }
                return std::nullopt;
            }
            if (auto it = value.find(dateTag); it != value.end() && it->is_number()) {
                const double seconds = it->get<double>();
                if (std::isfinite(seconds)) {
                    return DefaultsValue{Date{seconds}};
                }
            }
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

// A name next to `file` that does not exist yet, for a damaged file moved aside.
fs::path damagedName(const fs::path& file) {
    const std::string stamp = SystemClock::shared().now().iso8601();
    std::string base = file.filename().string() + ".damaged-";
    for (char c : stamp) {
        base.push_back(c == ':' ? '-' : c);
    }
    fs::path candidate = file.parent_path() / base;
    for (int n = 2; fs::exists(candidate); ++n) {
        candidate = file.parent_path() / (base + "-" + std::to_string(n));
    }
    return candidate;
}

// Reads the store's file. A missing file is an empty store; a file that is not a JSON object is
// moved aside (never overwritten) and also gives an empty store.
json readStore(const fs::path& file) {
    ReadResult read = readFile(file);
    if (!read.contents) {
        if (read.error.code != ENOENT) {
            logger(LogCategory::startup)
                .warn("Defaults read failed: {}", read.error.description);
        }
        return json::object();
    }
    json parsed = json::parse(*read.contents, nullptr, /*allow_exceptions=*/false);
    if (parsed.is_object()) {
        return parsed;
    }
    const fs::path aside = damagedName(file);
    std::error_code ec;
    fs::rename(file, aside, ec);
    if (ec) {
        logger(LogCategory::startup)
            .error("Damaged defaults file could not be moved aside: {}", ec.message());
    } else {
        logger(LogCategory::startup)
            .warn("Damaged defaults file moved to {}", aside.string());
    }
    return json::object();
}

}  // namespace

const char* toString(DefaultsType type) {
    switch (type) {
        case DefaultsType::boolean:
            return "bool";
        case DefaultsType::integer:
            return "int";
        case DefaultsType::real:
            return "double";
        case DefaultsType::string:
            return "string";
        case DefaultsType::data:
            return "data";
        case DefaultsType::date:
            return "date";
    }
    return "string";
}

DefaultsType typeOf(const DefaultsValue& value) {
    return static_cast<DefaultsType>(value.index());
}

struct UserDefaults::State {
    json stored = json::object();
    std::map<std::string, DefaultsValue> registered;
};

UserDefaults::UserDefaults(fs::path file)
    : path_(std::move(file)), state_(std::make_unique<State>()) {
    state_->stored = readStore(path_);
}

UserDefaults::~UserDefaults() = default;

fs::path UserDefaults::standardPath() { return configHome() / "tapwell" / "defaults.json"; }

void UserDefaults::registerDefaults(const std::map<std::string, DefaultsValue>& defaults) {
    std::lock_guard lock(mutex_);
    for (const auto& [key, value] : defaults) {
        state_->registered.insert_or_assign(key, value);
    }
}

std::optional<DefaultsValue> UserDefaults::value(const std::string& key) const {
    std::lock_guard lock(mutex_);
    if (auto it = state_->stored.find(key); it != state_->stored.end()) {
        if (auto decoded = decode(*it)) {
            return decoded;
        }
    }
    if (auto it = state_->registered.find(key); it != state_->registered.end()) {
        return it->second;
    }
    return std::nullopt;
}

bool UserDefaults::hasStoredValue(const std::string& key) const {
    std::lock_guard lock(mutex_);
    return state_->stored.contains(key);
}

namespace {
template <class T>
std::optional<T> as(const std::optional<DefaultsValue>& value) {
    if (value) {
        if (const T* v = std::get_if<T>(&*value)) {
            return *v;
        }
    }
    return std::nullopt;
}
}  // namespace

std::optional<bool> UserDefaults::boolValue(const std::string& key) const {
    return as<bool>(value(key));
}
std::optional<std::int64_t> UserDefaults::integerValue(const std::string& key) const {
    return as<std::int64_t>(value(key));
}
std::optional<double> UserDefaults::doubleValue(const std::string& key) const {
    const auto v = value(key);
    if (auto integer = as<std::int64_t>(v)) {
        return static_cast<double>(*integer);
    }
    return as<double>(v);
}
std::optional<std::string> UserDefaults::stringValue(const std::string& key) const {
    return as<std::string>(value(key));
}
std::optional<Bytes> UserDefaults::dataValue(const std::string& key) const {
    return as<Bytes>(value(key));
}
std::optional<Date> UserDefaults::dateValue(const std::string& key) const {
    return as<Date>(value(key));
}

std::map<std::string, DefaultsValue> UserDefaults::storedValues() const {
    std::lock_guard lock(mutex_);
    std::map<std::string, DefaultsValue> out;
    for (auto it = state_->stored.begin(); it != state_->stored.end(); ++it) {
        if (auto decoded = decode(it.value())) {
            out.emplace(it.key(), std::move(*decoded));
        }
    }
    return out;
}

bool UserDefaults::set(const std::string& key, const DefaultsValue& value) {
    if (const double* d = std::get_if<double>(&value); d != nullptr && !std::isfinite(*d)) {
        return false;  // JSON has no place for it
    }
    if (const Date* d = std::get_if<Date>(&value);
        d != nullptr && !std::isfinite(d->secondsSinceReferenceDate)) {
        return false;
    }
    return change(key, value);
}

bool UserDefaults::remove(const std::string& key) { return change(key, std::nullopt); }

void UserDefaults::reload() {
    std::lock_guard lock(mutex_);
    state_->stored = readStore(path_);
}

bool UserDefaults::change(const std::string& key, const std::optional<DefaultsValue>& value) {
    std::lock_guard lock(mutex_);
    auto apply = [&](json& object) {
        if (value) {
            object[key] = encode(*value);
        } else {
            object.erase(key);
        }
    };
    // Memory first, so the value holds for this run even when the disk refuses it.
    apply(state_->stored);

    if (auto error = createFolders(path_.parent_path())) {
        logger(LogCategory::startup).error("Defaults save failed: {}", error->description);
        return false;
    }
    Error lockError;
    auto fileLock = FileLock::acquire(path_.string() + ".lock", &lockError);
    if (!fileLock) {
        logger(LogCategory::startup).error("Defaults save failed: {}", lockError.description);
        return false;
    }
    // Another process may have written since we read: apply this one change to what is on disk.
    json onDisk = readStore(path_);
    apply(onDisk);
    const auto permissions = fs::perms::owner_read | fs::perms::owner_write;
    if (auto error = writeFileAtomically(path_, onDisk.dump(2, ' ', false, json::error_handler_t::replace) + "\n", permissions)) {
        logger(LogCategory::startup).error("Defaults save failed: {}", error->description);
        return false;
    }
    state_->stored = std::move(onDisk);
    return true;
}

}  // namespace tapwell

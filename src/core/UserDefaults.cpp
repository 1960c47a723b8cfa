#include "core/UserDefaults.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <expected>
#include <limits>

#include "core/Base64.h"
#include "core/FileSystem.h"
#include "core/Log.h"
#include "core/SerialQueue.h"

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

std::string megabytes(std::size_t bytes) {
    return std::to_string(bytes / (1024 * 1024)) + " MiB";
}

// Reads the store's file. A missing file is an empty store; a file that is not a JSON object, or
// is too large to be ours, is moved aside (never overwritten) and also gives an empty store. Any
// other failure is returned: writing over a file that could not be read would lose it.
std::expected<json, Error> readStore(const fs::path& file) {
    ReadResult read = readFile(file, UserDefaults::maxFileBytes);
    std::string damage;
    if (read.contents) {
        json parsed = json::parse(*read.contents, nullptr, /*allow_exceptions=*/false);
        if (parsed.is_object()) {
            return parsed;
        }
        damage = "is damaged";
    } else if (read.error.code == ENOENT) {
        return json::object();
    } else if (read.error.code == EFBIG) {
        damage = "is larger than the " + megabytes(UserDefaults::maxFileBytes) + " limit";
    } else {
        return std::unexpected(read.error);
    }
    const fs::path aside = damagedName(file);
    std::error_code ec;
    fs::rename(file, aside, ec);
    if (ec) {
        return std::unexpected(
            Error{"posix", ec.value(),
                  file.string() + " " + damage + " and could not be moved aside: " + ec.message()});
    }
    logger(LogCategory::startup)
        .warn("Defaults file {} {}; moved to {}", file.string(), damage, aside.string());
    return json::object();
}

// Changes made in this process and not yet on disk: the new value, or none for a removal.
using Changes = std::map<std::string, std::optional<json>>;

void apply(json& object, const std::string& key, const std::optional<json>& value) {
    if (value) {
        object[key] = *value;
    } else {
        object.erase(key);
    }
}

// Under the lock, applies `changes` to the file as it is now and writes it. Returns what is on
// disk afterwards.
std::expected<json, Error> writeChanges(const fs::path& file, const Changes& changes,
                                        const UserDefaults::FileWriter& writeFile) {
    if (file.has_parent_path()) {
        if (auto error = createFolders(file.parent_path(), fs::perms::owner_all)) {
            return std::unexpected(*error);
        }
    }
    Error lockError;
    auto fileLock = FileLock::acquire(file.string() + ".lock", &lockError);
    if (!fileLock) {
        return std::unexpected(lockError);
    }
    auto onDisk = readStore(file);
    if (!onDisk) {
        return onDisk;
    }
    for (const auto& [key, value] : changes) {
        apply(*onDisk, key, value);
    }
    const std::string text = onDisk->dump(2, ' ', false, json::error_handler_t::replace) + "\n";
    // Written, it would be refused as damaged the next time it is read.
    if (text.size() > UserDefaults::maxFileBytes) {
        return std::unexpected(Error::posix(
            EFBIG,
            file.string() + " (over the " + megabytes(UserDefaults::maxFileBytes) + " limit)"));
    }
    if (auto error = writeFile(file, text, ownerOnlyFile)) {
        return std::unexpected(*error);
    }
    return onDisk;
}

// A settings file others can read tells them the user's habits; it is narrowed to its owner.
void narrowSettingsFile(const fs::path& path, fs::file_type type) {
    const auto narrowed = narrowToOwner(path, type);
    if (!narrowed) {
        logger(LogCategory::startup)
            .warn("Defaults: {} is open to other users and could not be narrowed: {}",
                  path.string(), narrowed.error().description);
    } else if (*narrowed) {
        logger(LogCategory::startup)
            .info("Defaults: {} was open to other users; now its owner's only", path.string());
    }
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
    json stored = json::object();  // what reads answer: the file as last read, plus our changes
    Changes pending;
    std::map<std::string, DefaultsValue> registered;
    bool writeScheduled = false;
    bool failing = false;  // the last write failed; said once, until a write succeeds
};

UserDefaults::UserDefaults(fs::path file) : UserDefaults(std::move(file), Options{}) {}

UserDefaults::UserDefaults(fs::path file, Options options)
    : path_(std::move(file)), options_(std::move(options)), state_(std::make_unique<State>()) {
    if (!options_.writeFile) {
        options_.writeFile = writeFileAtomically;
    }
    if (path_.has_parent_path()) {
        narrowSettingsFile(path_.parent_path(), fs::file_type::directory);
    }
    narrowSettingsFile(path_, fs::file_type::regular);
    if (auto stored = readStore(path_)) {
        state_->stored = std::move(*stored);
    } else {
        logger(LogCategory::startup).warn("Defaults read failed: {}", stored.error().description);
    }
}

UserDefaults::~UserDefaults() {
    if (auto error = flush()) {
        logger(LogCategory::startup)
            .error("Defaults changes lost: {} could not be written: {}", path_.string(),
                   error->description);
    }
    queue_.reset();  // joins the worker while the state it uses still exists
}

fs::path UserDefaults::standardPath() {
    return configHome() / "tapwell" / "defaults.json";
}

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

std::optional<std::string> UserDefaults::refusalReason(const std::string& key,
                                                       const DefaultsValue& value) {
    if (key.empty()) {
        return "the key is empty";
    }
    const double* number = std::get_if<double>(&value);
    const Date* date = std::get_if<Date>(&value);
    if ((number != nullptr && !std::isfinite(*number)) ||
        (date != nullptr && !std::isfinite(date->secondsSinceReferenceDate))) {
        return "the value is not a finite number";  // JSON has no place for it
    }
    std::size_t size = key.size();
    if (const auto* text = std::get_if<std::string>(&value)) {
        size += text->size();
    } else if (const auto* bytes = std::get_if<Bytes>(&value)) {
        size += bytes->size();
    }
    if (size > maxValueBytes) {
        return "the value is larger than the " + megabytes(maxValueBytes) + " limit of one setting";
    }
    return std::nullopt;
}

bool UserDefaults::set(const std::string& key, const DefaultsValue& value) {
    if (auto reason = refusalReason(key, value)) {
        logger(LogCategory::startup)
            .warn("Defaults value for '{}' refused: {}", key.substr(0, 80), *reason);
        return false;
    }
    change(key, value);
    return true;
}

void UserDefaults::remove(const std::string& key) {
    change(key, std::nullopt);
}

void UserDefaults::change(const std::string& key, const std::optional<DefaultsValue>& value) {
    std::optional<json> encoded;
    if (value) {
        encoded = encode(*value);
    }
    SerialQueue* queue = nullptr;
    {
        std::lock_guard lock(mutex_);
        apply(state_->stored, key, encoded);
        state_->pending.insert_or_assign(key, std::move(encoded));
        if (state_->writeScheduled) {
            return;  // the write on its way takes this change along
        }
        state_->writeScheduled = true;
        if (!queue_) {
            queue_ = std::make_unique<SerialQueue>("com.tapwell.defaults");
        }
        queue = queue_.get();
    }
    queue->asyncAfter(options_.writeDelaySeconds, [this] { writePending(); });
}

std::optional<Error> UserDefaults::flush() {
    SerialQueue* queue = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (!queue_) {
            return std::nullopt;  // nothing was ever changed
        }
        queue = queue_.get();
    }
    return queue->sync([this] { return writePending(); });
}

void UserDefaults::reload() {
    auto read = [this] {
        auto onDisk = readStore(path_);
        if (!onDisk) {
            logger(LogCategory::startup)
                .warn("Defaults read failed: {}", onDisk.error().description);
            return;  // what we have is better than nothing
        }
        std::lock_guard lock(mutex_);
        for (const auto& [key, value] : state_->pending) {
            apply(*onDisk, key, value);
        }
        state_->stored = std::move(*onDisk);
    };
    SerialQueue* queue = nullptr;
    {
        std::lock_guard lock(mutex_);
        queue = queue_.get();
    }
    // On the queue, so that a write under way is not overtaken by the file before it.
    if (queue != nullptr) {
        queue->sync(read);
    } else {
        read();
    }
}

// Runs on the queue, which keeps this process's writes in order; the lock on the file keeps
// other processes out. The mutex is not held during the file work, so readers and `set` on
// the main thread never wait for the disk.
std::optional<Error> UserDefaults::writePending() {
    Changes changes;
    {
        std::lock_guard lock(mutex_);
        state_->writeScheduled = false;
        if (state_->pending.empty()) {
            return std::nullopt;
        }
        changes.swap(state_->pending);
    }
    auto written = writeChanges(path_, changes, options_.writeFile);

    std::lock_guard lock(mutex_);
    if (!written) {
        // Kept for the next write; a change made meanwhile is newer and wins.
        for (auto& [key, value] : changes) {
            state_->pending.try_emplace(key, std::move(value));
        }
        if (!state_->failing) {
            state_->failing = true;
            logger(LogCategory::startup)
                .error("Defaults save failed ({}): {}; changes are kept until a save succeeds",
                       path_.string(), written.error().description);
        }
        return written.error();
    }
    if (state_->failing) {
        state_->failing = false;
        logger(LogCategory::startup).info("Defaults saved again to {}", path_.string());
    }
    // Other processes' changes become visible; ours made during the write stay on top.
    for (const auto& [key, value] : state_->pending) {
        apply(*written, key, value);
    }
    state_->stored = std::move(*written);
    return std::nullopt;
}

}  // namespace tapwell

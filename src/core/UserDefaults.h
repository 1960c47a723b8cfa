#pragma once
// The typed key-value store of user settings: one JSON file, by default
// $XDG_CONFIG_HOME/tapwell/defaults.json (mode 0600), plus a registration domain in memory that
// answers for keys that were never written. Values are bool, integer, double, string, data
// (bytes) or date. Thread-safe.
//
// Every change is written at once and atomically. Under an advisory lock the file is read again
// and only the changed key is applied, so two processes (the application and `tapwell defaults`)
// do not lose each other's changes. A file that cannot be parsed is moved aside under a new name
// and the store goes on with defaults.
//
// Typed reads answer "the value under K if it is a <type>": a value of another type reads as
// absent (a double read also accepts an integer).

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/Clock.h"

namespace tapwell {

using Bytes = std::vector<std::uint8_t>;
using DefaultsValue = std::variant<bool, std::int64_t, double, std::string, Bytes, Date>;

enum class DefaultsType { boolean, integer, real, string, data, date };
const char* toString(DefaultsType type);
DefaultsType typeOf(const DefaultsValue& value);

class UserDefaults {
public:
    explicit UserDefaults(std::filesystem::path file);
    ~UserDefaults();

    // $XDG_CONFIG_HOME/tapwell/defaults.json, with ~/.config when XDG_CONFIG_HOME is unset.
    static std::filesystem::path standardPath();

    const std::filesystem::path& path() const { return path_; }

    // Values answered for keys that have no stored value. Never written to the file.
    void registerDefaults(const std::map<std::string, DefaultsValue>& defaults);

    // The stored value, else the registered one.
    std::optional<DefaultsValue> value(const std::string& key) const;
    bool hasStoredValue(const std::string& key) const;
    std::optional<bool> boolValue(const std::string& key) const;
    std::optional<std::int64_t> integerValue(const std::string& key) const;
    std::optional<double> doubleValue(const std::string& key) const;
    std::optional<std::string> stringValue(const std::string& key) const;
    std::optional<Bytes> dataValue(const std::string& key) const;
    std::optional<Date> dateValue(const std::string& key) const;

    // Stored keys and their values, in key order (values of unknown shape are left out).
    std::map<std::string, DefaultsValue> storedValues() const;

    // Returns false when the file could not be written; the value is kept in memory all the same.
    bool set(const std::string& key, const DefaultsValue& value);
    bool remove(const std::string& key);

    // Reads the file again (for example after another process changed it).
    void reload();

private:
    struct State;
    bool change(const std::string& key, const std::optional<DefaultsValue>& value);

    std::filesystem::path path_;
    mutable std::mutex mutex_;
    std::unique_ptr<State> state_;
};

}  // namespace tapwell

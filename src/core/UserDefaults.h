#pragma once
// The typed key-value store of user settings: one JSON file, by default
// $XDG_CONFIG_HOME/tapwell/defaults.json (mode 0600 in a folder of mode 0700), plus a registration
// domain in memory that answers for keys that were never written. Values are bool, integer,
// double, string, data (bytes) or date. Thread-safe.
//
// A change holds in memory at once; the file follows shortly after on the store's own queue, so
// that a burst of changes (a dragged slider) costs one write, never the caller's time. flush()
// writes what is pending and waits for it; the destructor flushes.
//
// Each write happens under an advisory lock: the file is read again and only the keys changed in
// this process (removals included) are applied to it, so two processes (the application and
// `tapwell defaults`) do not lose each other's changes. A file that cannot be parsed, or is
// larger than `maxFileBytes`, is moved aside under a new name and the store goes on with
// defaults. A write that fails (read-only or full disk, a folder in the file's place) is logged
// once; the changes stay pending and go out with the next write that succeeds.
//
// The folder holding the file belongs to the store: it is created private and narrowed to the
// owner when the store opens it, as is the file.
//
// Typed reads answer "the value under K if it is a <type>": a value of another type reads as
// absent (a double read also accepts an integer).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/Clock.h"
#include "core/Error.h"
#include "core/FileSystem.h"

namespace tapwell {

using Bytes = std::vector<std::uint8_t>;
using DefaultsValue = std::variant<bool, std::int64_t, double, std::string, Bytes, Date>;

enum class DefaultsType { boolean, integer, real, string, data, date };
const char* toString(DefaultsType type);
DefaultsType typeOf(const DefaultsValue& value);

class SerialQueue;

class UserDefaults {
  public:
    // A stored file stays a few kilobytes; a file this large is someone else's or damaged, and
    // parsing it would cost every command seconds and hundreds of megabytes.
    static constexpr std::size_t maxFileBytes = 4 * 1024 * 1024;
    // Key plus value (the bytes of a string or data value) that `set` accepts. Below the file
    // limit with room for the base64 growth of data and for the other values.
    static constexpr std::size_t maxValueBytes = 1024 * 1024;

    using FileWriter = tapwell::FileWriter;
    struct Options {
        // How long a change waits for company before it is written.
        double writeDelaySeconds = 0.4;
        // Replaces the atomic file write, so that tests can count writes or make them fail.
        FileWriter writeFile;
    };

    explicit UserDefaults(std::filesystem::path file);
    UserDefaults(std::filesystem::path file, Options options);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

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

    // Why `set` would refuse this pair (an empty key, a number JSON cannot hold, a value above
    // `maxValueBytes`), or no value when it is acceptable.
    static std::optional<std::string> refusalReason(const std::string& key,
                                                    const DefaultsValue& value);

    // Returns false, changing nothing, when the pair is refused (see refusalReason). Otherwise the
    // value holds at once and reaches the file shortly.
    bool set(const std::string& key, const DefaultsValue& value);
    void remove(const std::string& key);

    // Writes the pending changes and returns once they are on disk, or with the reason they are
    // not (they stay pending and are tried again with the next write).
    std::optional<Error> flush();

    // Reads the file again (for example after another process changed it); changes not yet
    // written stay on top.
    void reload();

  private:
    struct State;
    void change(const std::string& key, const std::optional<DefaultsValue>& value);
    std::optional<Error> writePending();

    std::filesystem::path path_;
    Options options_;
    mutable std::mutex mutex_;
    std::unique_ptr<State> state_;
    std::unique_ptr<SerialQueue> queue_;  // started with the first change
};

}  // namespace tapwell

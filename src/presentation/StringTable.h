#pragma once
// The localized string tables. Each language has a folder "<code>.lproj" in the resource folder
// holding the table "Localizable" as the file "Localizable.json": one flat JSON object mapping a
// key to its text, for example {"common.done": "Done"}. Texts that take arguments use the
// positional placeholders of presentation/FormatString.h.
//
// A `StringTable` is one such file, checked strictly when it is read (a JSON object of strings, no
// key twice). A `StringBundle` is what a `Localization` reads its texts from: the table of one
// language, with the English table behind it for keys that the language lacks. Both are immutable
// and may be shared between threads.

#include <cstddef>
#include <expected>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tapwell {

struct StringTableError {
    enum class Kind {
        missing,     // no file at the path
        unreadable,  // not a regular file, or reading it failed
        malformed,   // not a flat JSON object of strings
    };

    Kind kind = Kind::missing;
    std::filesystem::path file;
    std::string detail;  // what went wrong, for malformed and unreadable tables

    // One English sentence naming the file and the fault, for logs and command-line output.
    std::string description() const;

    bool operator==(const StringTableError&) const = default;
};

const char* toString(StringTableError::Kind kind);  // "missing", "unreadable", "malformed"

class StringTable {
  public:
    // The name of a table file inside a language folder.
    static constexpr std::string_view fileName = "Localizable.json";

    StringTable() = default;

    static std::expected<StringTable, StringTableError> load(const std::filesystem::path& file);
    // Parses the text of a table; the error is the `detail` of a malformed table.
    static std::expected<StringTable, std::string> parse(std::string_view json);

    // The text for `key`, or null when the table has none.
    const std::string* find(std::string_view key) const;
    std::size_t size() const { return entries_.size(); }
    // Every key, in ascending byte order.
    std::vector<std::string> keys() const;

  private:
    std::map<std::string, std::string, std::less<>> entries_;
};

class StringBundle {
  public:
    // A bundle without tables: every key reads as itself.
    StringBundle() = default;

    // The bundle for `languageCode` in `resourceFolder`: the table of "<code>.lproj" when it can
    // be read, else the table of "en.lproj", else a table directly in the resource folder, else
    // none. Unless the table chosen is the English one, the English table (when readable) answers
    // the keys that it lacks. Tables are read once per process and read again when their file
    // changes; an unusable table is logged once per change of its file.
    static StringBundle open(const std::filesystem::path& resourceFolder,
                             std::string_view languageCode);

    // The folder whose table is used; empty when no table could be read.
    const std::filesystem::path& folder() const { return folder_; }

    // The text for `key`: from this bundle's table, else from the English table, else `key`.
    std::string localizedString(std::string_view key) const;
    // Same lookup without the last step: null when neither table has the key.
    const std::string* find(std::string_view key) const;

  private:
    std::filesystem::path folder_;
    std::shared_ptr<const StringTable> table_;
    std::shared_ptr<const StringTable> fallback_;
};

}  // namespace tapwell

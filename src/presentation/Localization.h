#pragma once
// The interface language and everything that depends on it. A `Localization` carries the chosen
// language code, which also names the locale of numbers, dates, times and measurements (formatted
// by the text services, text/TextServices.h, on first need), and the string bundle that texts are
// read from (presentation/StringTable.h). It is an immutable value, cheap to
// copy, and usable on any thread.
//
// The language is chosen inside the program, independently of the system language. The
// process-wide `CurrentLanguage` holds the choice for code that is not handed a `Localization`
// (the notification service builds one for the language in force each time it posts).

#include <array>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "core/Clock.h"
#include "presentation/StringTable.h"

namespace tapwell {

class Calendar;

// The process-wide current language code, "en" until set. Reads and writes take the lock because
// services on other threads build `Localization` values from it.
class CurrentLanguage {
  public:
    std::string code() const;
    // Sets the current language; an unsupported code changes nothing and returns false.
    bool setCode(std::string_view code);

  private:
    mutable std::mutex lock_;
    std::string code_{"en"};
};

// A dictionary keyed by language code, such as a theme's names or rank lists.
template <class Map>
concept LanguageDictionary = requires(const Map& map, const std::string& key) {
    typename Map::mapped_type;
    map.find(key) != map.end();
};

// The language lookup shared by every per-language dictionary: the entry for `language`, else the
// entry for "en", else nothing.
template <LanguageDictionary Map>
std::optional<typename Map::mapped_type> pick(const Map& dictionary, std::string_view language) {
    if (const auto it = dictionary.find(std::string(language)); it != dictionary.end()) {
        return it->second;
    }
    if (const auto it = dictionary.find(std::string("en")); it != dictionary.end()) {
        return it->second;
    }
    return std::nullopt;
}

// An absent dictionary gives nothing.
template <LanguageDictionary Map>
std::optional<typename Map::mapped_type> pick(const std::optional<Map>& dictionary,
                                              std::string_view language) {
    if (!dictionary) {
        return std::nullopt;
    }
    return pick(*dictionary, language);
}

class Localization {
  public:
    // The supported language codes, in the order they are offered.
    static constexpr std::array<std::string_view, 3> supported{"en", "zh-Hans", "ja"};
    // The language used wherever another is missing.
    static constexpr std::string_view fallbackLanguage = "en";

    static bool isSupported(std::string_view code);
    // `code` when it is supported, else "en": how a stored or requested language is read.
    static std::string_view supportedOrFallback(std::string_view code);

    // The one process-wide current language.
    static CurrentLanguage& store();

    // `language` when it is supported, otherwise the current language (`store()`). Texts are read
    // from "<code>.lproj" in `resourceFolder`, else from "en.lproj" (the locale stays that of the
    // language), else from a table directly in `resourceFolder`; with none, keys read as
    // themselves.
    Localization(std::optional<std::string_view> language,
                 const std::filesystem::path& resourceFolder);

    const std::string& language() const;
    // The locale as a BCP 47 tag ("en", "zh-Hans", "ja"), for toolkits that take a name.
    std::string localeIdentifier() const;
    const StringBundle& bundle() const;

    // The entry of a per-language dictionary for this language, else for "en", else nothing.
    template <LanguageDictionary Map>
    std::optional<typename Map::mapped_type> pick(const Map& dictionary) const {
        return tapwell::pick(dictionary, language());
    }
    template <LanguageDictionary Map>
    std::optional<typename Map::mapped_type> pick(const std::optional<Map>& dictionary) const {
        return tapwell::pick(dictionary, language());
    }

    // The localized text of `key` in the table "Localizable"; the key itself when no table has it.
    std::string text(std::string_view key) const;

    // An argument of a format string: text as it stands, or an integer written in the locale's
    // digits without grouping.
    using FormatArgument = std::variant<std::string, std::int64_t>;
    // The localized format string of `key` filled with `arguments` ({1} is the first).
    std::string format(std::string_view key, std::initializer_list<FormatArgument> arguments) const;
    std::string formatPattern(std::string_view pattern,
                              std::span<const FormatArgument> arguments) const;

    // The date with abbreviated weekday, day, abbreviated month and year, arranged by the locale
    // ("Tue, Mar 5, 2024" in English), in the host's current time zone or the calendar's zone.
    std::string longDate(Date date) const;
    std::string longDate(Date date, const Calendar& calendar) const;

    // A length in metres, as given (never converted to kilometres), with 0 to 1 fraction digits
    // and the abbreviated unit ("4.9 m" in English).
    std::string meters(double value) const;

    // An integer with the locale's grouping ("12,345" in English).
    std::string groupedInteger(std::int64_t value) const;
    // An integer in the locale's short compact form, rounded down to whole units (12,345 is
    // "12K" in English, "1万" in Chinese).
    std::string compactInteger(std::int64_t value) const;

    // The time of day in the locale's short style ("11:40 PM" in English, "23:40" in Japanese).
    std::string shortTime(Date date) const;
    std::string shortTime(Date date, const Calendar& calendar) const;

  private:
    struct Impl;
    std::shared_ptr<const Impl> impl_;
};

}  // namespace tapwell

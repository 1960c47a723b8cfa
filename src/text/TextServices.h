#pragma once
// What the program needs of the Unicode and locale data: numbers, dates and times in a language's
// own forms, its plural rules, user-perceived characters and canonical equivalence. ICU does the
// work. The program loads it on first use (app/TextModule.cpp), so a run that formats nothing and
// meets only plain ASCII names never maps ICU; tests and tools link it directly
// (LinkedTextServices.cpp). Every binary is linked with exactly one definition of
// `textServices()`.
//
// Languages are the program's language codes ("en", "zh-Hans", "ja"), which are BCP 47 tags.
// Every function may be called from any thread.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace tapwell {

class TextServices {
  public:
    virtual ~TextServices() = default;

    enum class NumberStyle {
        grouped,  // "12,345"
        plain,    // "12345": the language's digits without grouping
        meters,   // "4.9 m": 0 to 1 fraction digits and the abbreviated unit
        compact,  // "12K": the short compact form, rounded down to whole units
    };

    // `value` in `style`; the error is the library's reason when it fails.
    virtual std::expected<std::string, std::string> formatNumber(std::string_view language,
                                                                 NumberStyle style,
                                                                 double value) const = 0;
    virtual std::expected<std::string, std::string> formatInteger(std::string_view language,
                                                                  NumberStyle style,
                                                                  std::int64_t value) const = 0;

    // The moment `utcMillis` (milliseconds since 1970 in UTC) as abbreviated weekday, day,
    // abbreviated month and year arranged by the language, or as the short time of day; both read
    // on the UTC wall clock, so callers pass their local wall time as if it were UTC.
    virtual std::expected<std::string, std::string> longDate(std::string_view language,
                                                             double utcMillis) const = 0;
    virtual std::expected<std::string, std::string> shortTime(std::string_view language,
                                                              double utcMillis) const = 0;

    // The plural category of `count` ("one", "other", ...).
    virtual std::expected<std::string, std::string> pluralForm(std::string_view language,
                                                               std::int64_t count) const = 0;

    // Extended grapheme clusters of UTF-8 `text` (ill-formed sequences count as U+FFFD): how many,
    // and the byte offset where the first ends. No value when segmentation fails.
    virtual std::optional<std::size_t> graphemeCount(std::string_view text) const = 0;
    virtual std::optional<std::size_t> firstGraphemeEnd(std::string_view text) const = 0;

    // The order of the NFC forms of `a` and `b` by code point: negative, zero or positive; no
    // value when normalization fails.
    virtual std::optional<int> compareNormalized(std::string_view a, std::string_view b) const = 0;
};

// The services, loaded on first call; null when they cannot be loaded (callers then fall back to
// plain forms: digits without grouping, code points, byte order).
const TextServices* textServices();

}  // namespace tapwell

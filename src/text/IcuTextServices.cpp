#include "text/IcuTextServices.h"

#include <unicode/brkiter.h>
#include <unicode/datefmt.h>
#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/measunit.h>
#include <unicode/normalizer2.h>
#include <unicode/numberformatter.h>
#include <unicode/plurrule.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <map>
#include <memory>
#include <mutex>
#include <type_traits>

namespace tapwell {

namespace {

namespace number = icu::number;
using Style = TextServices::NumberStyle;
using Formatted = std::expected<std::string, std::string>;

// Abbreviated weekday, day, abbreviated month, year; the locale decides order and punctuation.
constexpr char16_t longDateSkeleton[] = u"yMMMEEEd";

std::string utf8(const icu::UnicodeString& text) {
    std::string result;
    text.toUTF8String(result);
    return result;
}

std::unexpected<std::string> failure(UErrorCode status) {
    return std::unexpected(std::string(u_errorName(status)));
}

icu::UnicodeString fromUtf8(std::string_view text) {
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

icu::Locale localeOf(std::string_view language) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale = icu::Locale::forLanguageTag(
        icu::StringPiece(language.data(), static_cast<int32_t>(language.size())), status);
    // Only reachable if a supported code stopped being a well-formed tag.
    return U_SUCCESS(status) ? locale : icu::Locale::getEnglish();
}

// The ICU objects of one language. Building them costs far more than formatting with them, and
// texts are formatted often (the menu bar formats every count it shows), so each language's set is
// made once per process and kept.
class LanguageData {
  public:
    explicit LanguageData(const icu::Locale& locale)
        : locale_(locale),
          grouped_(number::NumberFormatter::withLocale(locale)),
          plain_(number::NumberFormatter::withLocale(locale).grouping(UNUM_GROUPING_OFF)),
          meters_(number::NumberFormatter::withLocale(locale)
                      .unit(icu::MeasureUnit::getMeter())
                      .unitWidth(UNUM_UNIT_WIDTH_SHORT)
                      .precision(number::Precision::minMaxFraction(0, 1))),
          compact_(number::NumberFormatter::withLocale(locale)
                       .notation(number::Notation::compactShort())
                       .precision(number::Precision::integer())
                       .roundingMode(UNUM_ROUND_FLOOR)) {}

    template <class Value>
    Formatted format(Style style, Value value) const {
        UErrorCode status = U_ZERO_ERROR;
        icu::UnicodeString text;
        {
            // ICU documents its number formatters as thread-safe, but a formatter rewrites
            // itself into a faster form after a few uses, through atomics inside the
            // (uninstrumented) ICU library that the thread sanitizer cannot see. The lock costs
            // nanoseconds and keeps that out of doubt.
            std::lock_guard guard(numberLock_);
            const number::LocalizedNumberFormatter& formatter = formatterFor(style);
            if constexpr (std::is_same_v<Value, double>) {
                text = formatter.formatDouble(value, status).toString(status);
            } else {
                text = formatter.formatInt(value, status).toString(status);
            }
        }
        if (U_FAILURE(status)) {
            return failure(status);
        }
        return utf8(text);
    }

    Formatted longDate(double utcMillis) const {
        UErrorCode status = U_ZERO_ERROR;
        const std::u16string* pattern = longDatePattern(status);
        if (!pattern) {
            return failure(status);
        }
        icu::SimpleDateFormat formatter(
            icu::UnicodeString(pattern->data(), static_cast<int32_t>(pattern->size())), locale_,
            status);
        if (U_FAILURE(status)) {
            return failure(status);
        }
        formatter.adoptTimeZone(utcZone());
        icu::UnicodeString result;
        formatter.format(utcMillis, result);
        return utf8(result);
    }

    Formatted shortTime(double utcMillis) const {
        std::unique_ptr<icu::DateFormat> formatter(
            icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, locale_));
        if (!formatter) {
            return failure(U_INTERNAL_PROGRAM_ERROR);
        }
        formatter->adoptTimeZone(utcZone());
        icu::UnicodeString result;
        formatter->format(utcMillis, result);
        return utf8(result);
    }

    Formatted pluralForm(std::int64_t count) const {
        std::call_once(pluralOnce_, [this] {
            UErrorCode status = U_ZERO_ERROR;
            plural_.reset(icu::PluralRules::forLocale(locale_, status));
            pluralStatus_ = plural_ ? status : U_MISSING_RESOURCE_ERROR;
        });
        if (U_FAILURE(pluralStatus_)) {
            return failure(pluralStatus_);
        }
        // The rules take a double; every count shown is far below 2^53.
        return utf8(plural_->select(static_cast<double>(count)));
    }

  private:
    static icu::TimeZone* utcZone() {
        return icu::TimeZone::createTimeZone(icu::UnicodeString(u"UTC"));
    }

    const number::LocalizedNumberFormatter& formatterFor(Style style) const {
        switch (style) {
            case Style::grouped:
                return grouped_;
            case Style::plain:
                return plain_;
            case Style::meters:
                return meters_;
            case Style::compact:
                return compact_;
        }
        return plain_;
    }

    // The locale's pattern for a long date, or null when ICU cannot give one. Worked out on
    // first use: it loads the locale's pattern data, and most runs never format a date.
    const std::u16string* longDatePattern(UErrorCode& status) const {
        std::call_once(datePatternOnce_, [this] {
            UErrorCode made = U_ZERO_ERROR;
            std::unique_ptr<icu::DateTimePatternGenerator> generator(
                icu::DateTimePatternGenerator::createInstance(locale_, made));
            if (U_SUCCESS(made)) {
                const icu::UnicodeString best =
                    generator->getBestPattern(icu::UnicodeString(longDateSkeleton), made);
                datePattern_.assign(best.getBuffer(), static_cast<std::size_t>(best.length()));
            }
            datePatternStatus_ = made;
        });
        status = datePatternStatus_;
        return U_SUCCESS(datePatternStatus_) ? &datePattern_ : nullptr;
    }

    icu::Locale locale_;
    number::LocalizedNumberFormatter grouped_;
    number::LocalizedNumberFormatter plain_;
    number::LocalizedNumberFormatter meters_;
    number::LocalizedNumberFormatter compact_;
    mutable std::mutex numberLock_;

    mutable std::once_flag datePatternOnce_;
    // Kept as plain characters: ICU strings share buffers through reference counts that the
    // thread sanitizer cannot follow.
    mutable std::u16string datePattern_;
    mutable UErrorCode datePatternStatus_ = U_ZERO_ERROR;

    mutable std::once_flag pluralOnce_;
    mutable std::unique_ptr<const icu::PluralRules> plural_;
    mutable UErrorCode pluralStatus_ = U_ZERO_ERROR;
};

// Offsets of grapheme boundaries after the start are reported through `visit(offset)`, which
// returns false to stop; returns false when ICU could not segment the text.
template <typename Visit>
bool forEachGraphemeBoundary(std::string_view text, Visit visit) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !iterator) {
        return false;
    }
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    if (U_FAILURE(status)) {
        utext_close(utext);
        return false;
    }
    iterator->setText(utext, status);
    const bool ok = U_SUCCESS(status);
    if (ok) {
        iterator->first();
        for (int32_t offset = iterator->next(); offset != icu::BreakIterator::DONE;
             offset = iterator->next()) {
            if (!visit(static_cast<std::size_t>(offset))) {
                break;
            }
        }
    }
    iterator.reset();
    utext_close(utext);
    return ok;
}

class IcuTextServices final : public TextServices {
  public:
    Formatted formatNumber(std::string_view language, NumberStyle style,
                           double value) const override {
        return dataFor(language).format(style, value);
    }
    Formatted formatInteger(std::string_view language, NumberStyle style,
                            std::int64_t value) const override {
        return dataFor(language).format(style, value);
    }
    Formatted longDate(std::string_view language, double utcMillis) const override {
        return dataFor(language).longDate(utcMillis);
    }
    Formatted shortTime(std::string_view language, double utcMillis) const override {
        return dataFor(language).shortTime(utcMillis);
    }
    Formatted pluralForm(std::string_view language, std::int64_t count) const override {
        return dataFor(language).pluralForm(count);
    }

    std::optional<std::size_t> graphemeCount(std::string_view text) const override {
        std::size_t count = 0;
        if (!forEachGraphemeBoundary(text, [&](std::size_t) {
                ++count;
                return true;
            })) {
            return std::nullopt;
        }
        return count;
    }

    std::optional<std::size_t> firstGraphemeEnd(std::string_view text) const override {
        std::size_t first = 0;
        if (!forEachGraphemeBoundary(text, [&](std::size_t offset) {
                first = offset;
                return false;
            })) {
            return std::nullopt;
        }
        return first;
    }

    std::optional<int> compareNormalized(std::string_view a, std::string_view b) const override {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
        if (U_FAILURE(status) || !nfc) {
            return std::nullopt;
        }
        const icu::UnicodeString left = nfc->normalize(fromUtf8(a), status);
        const icu::UnicodeString right = nfc->normalize(fromUtf8(b), status);
        if (U_FAILURE(status)) {
            return std::nullopt;
        }
        // UTF-16 code unit order differs from code point order above U+FFFF.
        return left.compareCodePointOrder(right);
    }

  private:
    const LanguageData& dataFor(std::string_view language) const {
        std::lock_guard guard(lock_);
        auto it = languages_.find(language);
        if (it == languages_.end()) {
            it = languages_
                     .emplace(std::string(language),
                              std::make_unique<const LanguageData>(localeOf(language)))
                     .first;
        }
        return *it->second;
    }

    mutable std::mutex lock_;
    // Never shrinks: a reference handed out stays valid for the process.
    mutable std::map<std::string, std::unique_ptr<const LanguageData>, std::less<>> languages_;
};

}  // namespace

const TextServices& icuTextServices() {
    static const IcuTextServices services;
    return services;
}

}  // namespace tapwell

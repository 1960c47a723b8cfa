#include "presentation/Localization.h"

#include <unicode/datefmt.h>
#include <unicode/dtptngen.h>
#include <unicode/measunit.h>
#include <unicode/numberformatter.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <vector>

#include "core/Calendar.h"
#include "core/CivilDate.h"
#include "core/Log.h"
#include "presentation/FormatString.h"

namespace tapwell {

namespace number = icu::number;

namespace {

// Abbreviated weekday, day, abbreviated month, year; the locale decides order and punctuation.
constexpr char16_t longDateSkeleton[] = u"yMMMEEEd";

std::string utf8(const icu::UnicodeString& text) {
    std::string result;
    text.toUTF8String(result);
    return result;
}

void reportIcuFailure(const char* what, UErrorCode status) {
    logger(LogCategory::startup).warn("Formatting {} failed: {}", what, u_errorName(status));
}

// The calendar's own zone rules decide the wall time (ICU's zone data may be older than the
// system's, and it knows no POSIX rule or file path a host zone may be given by): ICU formats, in
// UTC, the moment whose UTC wall time is the calendar's local one.
UDate icuWallTime(Date date, const Calendar& calendar) {
    const Calendar::Components local = calendar.components(date);
    const CivilDate day{local.year, local.month, local.day};
    const double seconds = static_cast<double>(day.daysSinceEpoch()) * 86400.0 +
                           local.hour * 3600.0 + local.minute * 60.0 + local.second;
    return seconds * 1000.0;
}

icu::TimeZone* utcZone() {
    return icu::TimeZone::createTimeZone(icu::UnicodeString(u"UTC"));
}

std::string plainDecimal(double value) {
    char buffer[64];
    const double rounded = std::round(value * 10.0) / 10.0;
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed,
                      rounded == std::trunc(rounded) ? 0 : 1);
    return std::string(buffer, result.ptr);
}

}  // namespace

std::string CurrentLanguage::code() const {
    std::lock_guard guard(lock_);
    return code_;
}

bool CurrentLanguage::setCode(std::string_view code) {
    if (!Localization::isSupported(code)) {
        return false;
    }
    std::lock_guard guard(lock_);
    code_ = std::string(code);
    return true;
}

namespace {

// The ICU objects of one language. Building them costs far more than the rest of a Localization,
// and values are built often (the menu bar builds one for every count it shows), so each
// language's set is made once per process and shared by every value of that language.
class LocaleFormatters {
  public:
    explicit LocaleFormatters(const icu::Locale& locale)
        : locale_(locale),
          grouped_(number::NumberFormatter::withLocale(locale)),
          plain_(number::NumberFormatter::withLocale(locale).grouping(UNUM_GROUPING_OFF)),
          meters_(number::NumberFormatter::withLocale(locale)
                      .unit(icu::MeasureUnit::getMeter())
                      .unitWidth(UNUM_UNIT_WIDTH_SHORT)
                      .precision(number::Precision::minMaxFraction(0, 1))) {}

    static std::shared_ptr<const LocaleFormatters> forLocale(const std::string& language,
                                                             const icu::Locale& locale) {
        static std::mutex lock;
        static std::map<std::string, std::shared_ptr<const LocaleFormatters>> shared;
        std::lock_guard guard(lock);
        auto& entry = shared[language];
        if (!entry) {
            entry = std::make_shared<const LocaleFormatters>(locale);
        }
        return entry;
    }

    enum class Style { grouped, plain, meters };

    // The number as text, or no value when ICU fails.
    std::optional<std::string> format(Style style, std::int64_t value) const {
        return run(style,
                   [value](const number::LocalizedNumberFormatter& formatter, UErrorCode& status) {
                       return formatter.formatInt(value, status);
                   });
    }
    std::optional<std::string> format(Style style, double value) const {
        return run(style,
                   [value](const number::LocalizedNumberFormatter& formatter, UErrorCode& status) {
                       return formatter.formatDouble(value, status);
                   });
    }

    // The locale's pattern for a long date, or null when ICU cannot give one. Worked out on
    // first use: it loads the locale's pattern data, and most values never format a date.
    const std::u16string* longDatePattern() const {
        std::call_once(datePatternOnce_, [this] {
            UErrorCode status = U_ZERO_ERROR;
            std::unique_ptr<icu::DateTimePatternGenerator> generator(
                icu::DateTimePatternGenerator::createInstance(locale_, status));
            if (U_SUCCESS(status)) {
                const icu::UnicodeString best =
                    generator->getBestPattern(icu::UnicodeString(longDateSkeleton), status);
                datePattern_.assign(best.getBuffer(), static_cast<std::size_t>(best.length()));
            }
            datePatternStatus_ = status;
        });
        return U_SUCCESS(datePatternStatus_) ? &datePattern_ : nullptr;
    }

  private:
    template <class Run>
    std::optional<std::string> run(Style style, Run&& formatWith) const {
        const number::LocalizedNumberFormatter& formatter = style == Style::grouped ? grouped_
                                                            : style == Style::plain ? plain_
                                                                                    : meters_;
        UErrorCode status = U_ZERO_ERROR;
        icu::UnicodeString text;
        {
            // ICU documents its number formatters as thread-safe, but a formatter rewrites
            // itself into a faster form after a few uses, through atomics inside the
            // (uninstrumented) ICU library that the thread sanitizer cannot see. The lock costs
            // nanoseconds and keeps that out of doubt.
            std::lock_guard guard(numberLock_);
            text = formatWith(formatter, status).toString(status);
        }
        if (U_FAILURE(status)) {
            reportIcuFailure("a number", status);
            return std::nullopt;
        }
        return utf8(text);
    }

    icu::Locale locale_;
    number::LocalizedNumberFormatter grouped_;
    number::LocalizedNumberFormatter plain_;
    number::LocalizedNumberFormatter meters_;
    mutable std::mutex numberLock_;

    mutable std::once_flag datePatternOnce_;
    // Kept as plain characters: ICU strings share buffers through reference counts that the
    // thread sanitizer cannot follow.
    mutable std::u16string datePattern_;
    mutable UErrorCode datePatternStatus_ = U_ZERO_ERROR;
};

using Style = LocaleFormatters::Style;

}  // namespace

struct Localization::Impl {
    std::string language;
    icu::Locale locale;
    StringBundle bundle;
    std::shared_ptr<const LocaleFormatters> formatters;
};

bool Localization::isSupported(std::string_view code) {
    return std::ranges::find(supported, code) != supported.end();
}

std::string_view Localization::supportedOrFallback(std::string_view code) {
    const auto it = std::ranges::find(supported, code);
    return it != supported.end() ? *it : fallbackLanguage;
}

CurrentLanguage& Localization::store() {
    static CurrentLanguage current;
    return current;
}

Localization::Localization(std::optional<std::string_view> language,
                           const std::filesystem::path& resourceFolder) {
    auto impl = std::make_shared<Impl>();
    impl->language = language && isSupported(*language) ? std::string(*language) : store().code();

    UErrorCode status = U_ZERO_ERROR;
    impl->locale = icu::Locale::forLanguageTag(impl->language, status);
    if (U_FAILURE(status)) {
        // Only reachable if a supported code stopped being a well-formed tag.
        impl->locale = icu::Locale::getEnglish();
    }
    impl->bundle = StringBundle::open(resourceFolder, impl->language);

    impl->formatters = LocaleFormatters::forLocale(impl->language, impl->locale);
    impl_ = std::move(impl);
}

const std::string& Localization::language() const {
    return impl_->language;
}

const icu::Locale& Localization::locale() const {
    return impl_->locale;
}

std::string Localization::localeIdentifier() const {
    UErrorCode status = U_ZERO_ERROR;
    std::string tag = impl_->locale.toLanguageTag<std::string>(status);
    return U_SUCCESS(status) ? tag : impl_->language;
}

const StringBundle& Localization::bundle() const {
    return impl_->bundle;
}

std::string Localization::text(std::string_view key) const {
    return impl_->bundle.localizedString(key);
}

std::string Localization::format(std::string_view key,
                                 std::initializer_list<FormatArgument> arguments) const {
    return formatPattern(text(key), std::span(arguments.begin(), arguments.size()));
}

std::string Localization::formatPattern(std::string_view pattern,
                                        std::span<const FormatArgument> arguments) const {
    std::vector<std::string> texts;
    texts.reserve(arguments.size());
    for (const FormatArgument& argument : arguments) {
        if (const auto* string = std::get_if<std::string>(&argument)) {
            texts.push_back(*string);
            continue;
        }
        const std::int64_t value = std::get<std::int64_t>(argument);
        texts.push_back(
            impl_->formatters->format(Style::plain, value).value_or(std::to_string(value)));
    }
    return fillPlaceholders(pattern, texts);
}

std::string Localization::longDate(Date date) const {
    return longDate(date, Calendar::current());
}

std::string Localization::longDate(Date date, const Calendar& calendar) const {
    UErrorCode status = U_ZERO_ERROR;
    if (const std::u16string* pattern = impl_->formatters->longDatePattern()) {
        const icu::UnicodeString patternText(pattern->data(),
                                             static_cast<int32_t>(pattern->size()));
        icu::SimpleDateFormat formatter(patternText, impl_->locale, status);
        if (U_SUCCESS(status)) {
            formatter.adoptTimeZone(utcZone());
            icu::UnicodeString result;
            formatter.format(icuWallTime(date, calendar), result);
            return utf8(result);
        }
    } else {
        status = U_INTERNAL_PROGRAM_ERROR;
    }
    reportIcuFailure("a date", status);
    return calendar.dayID(date);
}

std::string Localization::meters(double value) const {
    if (auto text = impl_->formatters->format(Style::meters, value)) {
        return std::move(*text);
    }
    return plainDecimal(value) + " m";
}

std::string Localization::groupedInteger(std::int64_t value) const {
    return impl_->formatters->format(Style::grouped, value).value_or(std::to_string(value));
}

std::string Localization::shortTime(Date date) const {
    return shortTime(date, Calendar::current());
}

std::string Localization::shortTime(Date date, const Calendar& calendar) const {
    std::unique_ptr<icu::DateFormat> formatter(
        icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, impl_->locale));
    if (formatter) {
        formatter->adoptTimeZone(utcZone());
        icu::UnicodeString result;
        formatter->format(icuWallTime(date, calendar), result);
        return utf8(result);
    }
    reportIcuFailure("a time", U_INTERNAL_PROGRAM_ERROR);
    const Calendar::Components parts = calendar.components(date);
    std::string text = std::to_string(parts.hour);
    text += parts.minute < 10 ? ":0" : ":";
    text += std::to_string(parts.minute);
    return text;
}

}  // namespace tapwell

#include "presentation/Localization.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <type_traits>
#include <vector>

#include "core/Calendar.h"
#include "core/CivilDate.h"
#include "core/Log.h"
#include "presentation/FormatString.h"
#include "text/TextServices.h"

namespace tapwell {

namespace {

using Style = TextServices::NumberStyle;

void reportFailure(const char* what, std::string_view reason) {
    logger(LogCategory::startup).warn("Formatting {} failed: {}", what, reason);
}

// The text services format a moment on the UTC wall clock; the calendar's own zone rules decide
// the wall time (ICU's zone data may be older than the system's, and it knows no POSIX rule or
// file path a host zone may be given by), so they are handed the moment whose UTC wall time is the
// calendar's local one.
double wallTimeAsUtcMillis(Date date, const Calendar& calendar) {
    const Calendar::Components local = calendar.components(date);
    const CivilDate day{local.year, local.month, local.day};
    const double seconds = static_cast<double>(day.daysSinceEpoch()) * 86400.0 +
                           local.hour * 3600.0 + local.minute * 60.0 + local.second;
    return seconds * 1000.0;
}

// A number from the text services, or nothing (logged) when they fail or are missing.
template <class Value>
std::optional<std::string> formatted(std::string_view language, Style style, Value value) {
    const TextServices* services = textServices();
    if (!services) {
        return std::nullopt;
    }
    std::expected<std::string, std::string> text;
    if constexpr (std::is_same_v<Value, double>) {
        text = services->formatNumber(language, style, value);
    } else {
        text = services->formatInteger(language, style, value);
    }
    if (!text) {
        reportFailure("a number", text.error());
        return std::nullopt;
    }
    return std::move(*text);
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

struct Localization::Impl {
    std::string language;
    StringBundle bundle;
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
    impl->bundle = StringBundle::open(resourceFolder, impl->language);
    impl_ = std::move(impl);
}

const std::string& Localization::language() const {
    return impl_->language;
}

std::string Localization::localeIdentifier() const {
    // The supported codes are BCP 47 tags as they stand.
    return impl_->language;
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
            formatted(impl_->language, Style::plain, value).value_or(std::to_string(value)));
    }
    return fillPlaceholders(pattern, texts);
}

std::string Localization::longDate(Date date) const {
    return longDate(date, Calendar::current());
}

std::string Localization::longDate(Date date, const Calendar& calendar) const {
    if (const TextServices* services = textServices()) {
        auto text = services->longDate(impl_->language, wallTimeAsUtcMillis(date, calendar));
        if (text) {
            return std::move(*text);
        }
        reportFailure("a date", text.error());
    }
    return calendar.dayID(date);
}

std::string Localization::meters(double value) const {
    if (auto text = formatted(impl_->language, Style::meters, value)) {
        return std::move(*text);
    }
    return plainDecimal(value) + " m";
}

std::string Localization::groupedInteger(std::int64_t value) const {
    return formatted(impl_->language, Style::grouped, value).value_or(std::to_string(value));
}

std::string Localization::compactInteger(std::int64_t value) const {
    return formatted(impl_->language, Style::compact, value).value_or(std::to_string(value));
}

std::string Localization::shortTime(Date date) const {
    return shortTime(date, Calendar::current());
}

std::string Localization::shortTime(Date date, const Calendar& calendar) const {
    if (const TextServices* services = textServices()) {
        auto text = services->shortTime(impl_->language, wallTimeAsUtcMillis(date, calendar));
        if (text) {
            return std::move(*text);
        }
        reportFailure("a time", text.error());
    }
    const Calendar::Components parts = calendar.components(date);
    std::string text = std::to_string(parts.hour);
    text += parts.minute < 10 ? ":0" : ":";
    text += std::to_string(parts.minute);
    return text;
}

}  // namespace tapwell

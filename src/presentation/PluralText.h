#pragma once
// Texts that change with a count. A key with plural forms has one entry per form that the
// language distinguishes, named "<key>.<form>" with the forms of the Unicode plural rules ("one",
// "few", "many", "other", ...): English needs "one" and "other", Chinese and Japanese only
// "other". Every table carries "<key>.other", the form used whenever a more specific one is
// missing.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "presentation/Localization.h"

namespace tapwell {

// The plural form of `count` in the localization's language ("one", "other", ...).
std::string pluralForm(const Localization& localization, std::int64_t count);

// The text of "<key>.<form of count>" (else "<key>.other") with {1} filled by the count in the
// locale's grouping ("1,234" in English) and {2}, {3}, ... by `more`.
std::string pluralText(const Localization& localization, std::string_view key, std::int64_t count,
                       std::initializer_list<std::string> more = {});

}  // namespace tapwell

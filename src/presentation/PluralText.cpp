#include "presentation/PluralText.h"

#include <unicode/plurrule.h>
#include <unicode/unistr.h>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "core/Log.h"

namespace tapwell {

namespace {

// Plural rules are loaded from ICU's data once per language and shared; a counted text is built
// on every published count.
std::shared_ptr<const icu::PluralRules> rulesFor(const Localization& localization) {
    static std::mutex lock;
    static std::map<std::string, std::shared_ptr<const icu::PluralRules>> shared;
    std::lock_guard guard(lock);
    auto& entry = shared[localization.language()];
    if (!entry) {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::PluralRules> rules(
            icu::PluralRules::forLocale(localization.locale(), status));
        if (U_FAILURE(status) || !rules) {
            logger(LogCategory::startup)
                .warn("Plural rules for {} unavailable: {}", localization.language(),
                      u_errorName(status));
            return nullptr;
        }
        entry = std::move(rules);
    }
    return entry;
}

}  // namespace

std::string pluralForm(const Localization& localization, std::int64_t count) {
    const auto rules = rulesFor(localization);
    if (!rules) {
        return "other";
    }
    // The rules take a double; every count shown is far below 2^53.
    const icu::UnicodeString form = rules->select(static_cast<double>(count));
    std::string result;
    form.toUTF8String(result);
    return result;
}

std::string pluralText(const Localization& localization, std::string_view key, std::int64_t count,
                       std::initializer_list<std::string> more) {
    const std::string base(key);
    const std::string* pattern =
        localization.bundle().find(base + "." + pluralForm(localization, count));
    std::string fallback;
    if (!pattern) {
        fallback = localization.text(base + ".other");
        pattern = &fallback;
    }
    std::vector<Localization::FormatArgument> arguments;
    arguments.reserve(more.size() + 1);
    arguments.emplace_back(localization.groupedInteger(count));
    for (const std::string& text : more) {
        arguments.emplace_back(text);
    }
    return localization.formatPattern(*pattern, arguments);
}

}  // namespace tapwell

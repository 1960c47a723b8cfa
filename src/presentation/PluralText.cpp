#include "presentation/PluralText.h"

#include <vector>

#include "core/Log.h"
#include "text/TextServices.h"

namespace tapwell {

std::string pluralForm(const Localization& localization, std::int64_t count) {
    const TextServices* services = textServices();
    if (!services) {
        return "other";
    }
    auto form = services->pluralForm(localization.language(), count);
    if (!form) {
        logger(LogCategory::startup)
            .warn("Plural rules for {} unavailable: {}", localization.language(), form.error());
        return "other";
    }
    return std::move(*form);
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

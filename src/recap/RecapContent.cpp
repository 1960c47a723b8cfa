#include "recap/RecapContent.h"

#include <charconv>
#include <string_view>
#include <utility>

#include "stats/RankService.h"

namespace tapwell {

namespace {

// An optional sign followed only by the digits 0-9, within the 64-bit range.
std::optional<std::int64_t> parseDecimal(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    // Parse with the sign so that the most negative value fits.
    std::string signedText = negative ? "-" : "";
    signedText.append(text);
    std::int64_t value = 0;
    const auto [end, error] =
        std::from_chars(signedText.data(), signedText.data() + signedText.size(), value);
    if (error != std::errc{} || end != signedText.data() + signedText.size()) {
        return std::nullopt;
    }
    return value;
}

RecapContent makeContent(const DailyStats& stats, const Theme& theme,
                         const Localization& localization, std::string formattedDate) {
    const auto rank = static_cast<std::size_t>(RankService::rankIndex(stats.keystrokes));
    const std::vector<std::string> names =
        localization.pick(theme.ranks).value_or(std::vector<std::string>{});
    const std::vector<std::vector<std::string>> quips =
        localization.pick(theme.recapQuips).value_or(std::vector<std::vector<std::string>>{});

    RecapContent content;
    content.date = std::move(formattedDate);
    content.themeName = localization.pick(theme.name).value_or(theme.id);
    content.rank = rank < names.size() ? names[rank] : std::string{};
    content.count = localization.groupedInteger(stats.keystrokes);
    content.countLabel = localization.text("recap.keystrokesToday");
    if (rank < quips.size()) {
        content.quip = quips[rank];
    } else if (!quips.empty()) {
        content.quip = quips.front();
    }
    const std::int64_t words = stats.keystrokes / RecapContent::wordsDivisor(localization);
    content.stats = {
        {localization.text("recap.topSpeed"),
         localization.format("unit.keysPerMinute.value", {stats.topKpm})},
        {localization.text("recap.words"), localization.groupedInteger(words)},
        {localization.text("recap.travel"),
         localization.meters(static_cast<double>(stats.keystrokes) *
                             RecapContent::metersPerKeystroke)},
        {localization.text("recap.breaks"), localization.groupedInteger(stats.breaks)},
    };
    content.brand = localization.text("recap.footer.brand");
    content.privacy = localization.text("recap.footer.privacy");
    content.background = theme.colors.recap.background;
    content.text = theme.colors.recap.text;
    content.secondary = theme.colors.recap.secondary;
    content.accent = theme.colors.recap.accent;
    content.numberFont = theme.recapNumberFont;
    return content;
}

}  // namespace

RecapContent RecapContent::make(const DailyStats& stats, const Theme& theme,
                                const Localization& localization, Date date) {
    return makeContent(stats, theme, localization, localization.longDate(date));
}

RecapContent RecapContent::make(const DailyStats& stats, const Theme& theme,
                                const Localization& localization, Date date,
                                const Calendar& calendar) {
    return makeContent(stats, theme, localization, localization.longDate(date, calendar));
}

std::int64_t RecapContent::wordsDivisor(const Localization& localization) {
    const std::optional<std::int64_t> value =
        parseDecimal(localization.text("recap.words.divisor"));
    if (!value) {
        return defaultWordsDivisor;
    }
    return *value < 1 ? 1 : *value;
}

std::string RecapContent::fileName(Date date) {
    return fileName(date, Calendar::current());
}

std::string RecapContent::fileName(Date date, const Calendar& calendar) {
    return "Tapwell-Recap-" + calendar.dayID(date) + ".png";
}

}  // namespace tapwell

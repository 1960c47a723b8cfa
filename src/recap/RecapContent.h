#pragma once
// The complete, already formatted content of the daily recap card: every text and colour the card
// shows, computed once from a day's record, the active theme and the current language. The card
// view and the image export only lay out what this record holds.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/Calendar.h"
#include "core/Clock.h"
#include "presentation/Localization.h"
#include "stats/DailyStats.h"
#include "themes/Theme.h"

namespace tapwell {

struct RecapContent {
    struct Stat {
        std::string label;
        std::string value;
        bool operator==(const Stat&) const = default;
    };

    // Keystrokes per word when the language names no usable figure.
    static constexpr std::int64_t defaultWordsDivisor = 5;
    // How far a key travels per press, in metres.
    static constexpr double metersPerKeystroke = 0.004;

    std::string date;
    std::string themeName;
    std::string rank;
    std::string count;
    std::string countLabel;
    std::vector<std::string> quip;
    std::vector<Stat> stats;  // top speed, words, travel, breaks
    std::string brand;
    std::string privacy;
    std::string background;
    std::string text;
    std::string secondary;
    std::string accent;
    std::optional<std::string> numberFont;

    bool operator==(const RecapContent&) const = default;

    // `date` is local midnight of the recap's day; it is shown in the host's current zone.
    static RecapContent make(const DailyStats& stats, const Theme& theme,
                             const Localization& localization, Date date);
    // The same, with the day shown in `calendar`'s zone.
    static RecapContent make(const DailyStats& stats, const Theme& theme,
                             const Localization& localization, Date date, const Calendar& calendar);

    // The language's keystrokes-per-word figure ("recap.words.divisor"), at least 1.
    static std::int64_t wordsDivisor(const Localization& localization);

    // "Tapwell-Recap-yyyy-MM-dd.png" for the local day of `date` in the host's current zone.
    static std::string fileName(Date date);
    static std::string fileName(Date date, const Calendar& calendar);
};

}  // namespace tapwell

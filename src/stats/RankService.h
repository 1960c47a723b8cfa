#pragma once
// Ranks are playful titles for the day's keystroke count. The service knows only the thresholds;
// the names come from the theme, one list of six per language.

#include <array>
#include <cstdint>
#include <optional>

namespace tapwell {

struct RankService {
    // The lower bound of each rank, index 0 to 5.
    static constexpr std::array<std::int64_t, 6> thresholds{0, 2000, 8000, 20000, 40000, 80000};

    // 0 below 2000 (negative counts included), up to 5 from 80000.
    static int rankIndex(std::int64_t count);
    // Keystrokes still needed for the next rank; no value once the top rank is reached.
    static std::optional<std::int64_t> remaining(std::int64_t count);
    // How far the count has come from its rank's lower bound towards the next one, in [0, 1].
    static double progress(std::int64_t count);
};

}  // namespace tapwell

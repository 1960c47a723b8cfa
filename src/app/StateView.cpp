#include "app/StateView.h"

#include <algorithm>

#include "stats/RankService.h"

namespace tapwell {

double StateView::remainingMuteSeconds() const {
    const auto& until = soundSettings().mutedUntil;
    if (!until) {
        return 0.0;
    }
    return std::max(0.0, *until - now());
}

int StateView::rank() const {
    return RankService::rankIndex(snapshot().today.keystrokes);
}

std::string StateView::rankName() const {
    if (!currentTheme()) {
        return {};
    }
    const auto names = localization().pick(currentTheme()->ranks);
    const int index = rank();
    if (!names || index >= static_cast<int>(names->size())) {
        return {};
    }
    return (*names)[static_cast<std::size_t>(index)];
}

std::optional<std::int64_t> StateView::keystrokesToNextRank() const {
    return RankService::remaining(snapshot().today.keystrokes);
}

double StateView::rankProgress() const {
    return RankService::progress(snapshot().today.keystrokes);
}

}  // namespace tapwell

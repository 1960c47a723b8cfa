#include "core/ZoneRules.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

#include "core/CivilDate.h"

namespace tapwell {

namespace {

constexpr std::int64_t earliest = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t latest = std::numeric_limits<std::int64_t>::max();

std::int64_t yearOf(std::int64_t utc) {
    return CivilDate::fromDaysSinceEpoch(CivilDate::floorDiv(utc, 86400)).year;
}

}  // namespace

ZoneRules::ZoneRules(std::vector<std::int64_t> times, std::vector<std::int32_t> offsets,
                     std::int32_t initialOffset, std::optional<PosixTimeZoneRule> rule)
    : times_(std::move(times)),
      offsets_(std::move(offsets)),
      initialOffset_(initialOffset),
      rule_(std::move(rule)) {
    offsets_.resize(times_.size(), initialOffset_);
    leastOffset_ = initialOffset_;
    greatestOffset_ = initialOffset_;
    for (const std::int32_t offset : offsets_) {
        leastOffset_ = std::min(leastOffset_, offset);
        greatestOffset_ = std::max(greatestOffset_, offset);
    }
    if (rule_) {
        for (const std::int32_t offset : {rule_->standardOffset(), rule_->daylightOffset()}) {
            leastOffset_ = std::min(leastOffset_, offset);
            greatestOffset_ = std::max(greatestOffset_, offset);
        }
    }
}

ZoneRules ZoneRules::fixed(std::int32_t offset) {
    return ZoneRules({}, {}, offset, std::nullopt);
}

ZoneRules::Span ZoneRules::spanAt(std::int64_t utc) const {
    if (times_.empty()) {
        return rule_ ? rule_->spanAt(utc) : Span{initialOffset_, earliest, latest};
    }
    const auto next = std::upper_bound(times_.begin(), times_.end(), utc);
    if (next == times_.begin()) {
        return Span{initialOffset_, earliest, times_.front()};
    }
    const auto index = static_cast<std::size_t>(next - times_.begin()) - 1;
    if (next != times_.end()) {
        return Span{offsets_[index], times_[index], *next};
    }
    if (!rule_) {
        return Span{offsets_.back(), times_.back(), latest};
    }
    Span span = rule_->spanAt(utc);
    span.from = std::max(span.from, times_.back());
    return span;
}

template <typename Visit>
void ZoneRules::forEachTransition(std::int64_t from, std::int64_t to, Visit&& visit) const {
    for (auto it = std::lower_bound(times_.begin(), times_.end(), from);
         it != times_.end() && *it <= to; ++it) {
        const auto index = static_cast<std::size_t>(it - times_.begin());
        visit(Transition{*it, index == 0 ? initialOffset_ : offsets_[index - 1], offsets_[index]});
    }
    if (!rule_ || !rule_->hasDaylightSaving()) {
        return;
    }
    const std::int64_t ruleFrom = times_.empty() ? from : std::max(from, times_.back() + 1);
    if (ruleFrom > to) {
        return;
    }
    // The windows asked about span two days at most; a year either side catches changes that
    // stray over the turn of the year, and six years bound the work whatever is asked.
    std::array<Transition, 12> found;
    std::size_t count = 0;
    const std::int64_t firstYear = yearOf(ruleFrom) - 1;
    const std::int64_t lastYear = std::min(yearOf(to) + 1, firstYear + 5);
    for (std::int64_t year = firstYear; year <= lastYear; ++year) {
        for (const Transition& transition : rule_->transitionsOfYear(year)) {
            if (transition.at >= ruleFrom && transition.at <= to) {
                found[count++] = transition;
            }
        }
    }
    std::stable_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(count),
                     [](const Transition& a, const Transition& b) { return a.at < b.at; });
    for (std::size_t i = 0; i < count; ++i) {
        visit(found[i]);
    }
}

std::int64_t ZoneRules::utcOfLocal(std::int64_t local) const {
    // Every moment with this wall time lies in [from, to], and has one of the offsets in effect
    // there: the one at `from` or one that a change inside the window brings.
    const std::int64_t from = local - greatestOffset_;
    const std::int64_t to = local - leastOffset_;
    std::optional<std::int64_t> first;
    auto consider = [&](std::int32_t offset) {
        const std::int64_t utc = local - offset;
        if (offsetAt(utc) == offset && (!first || utc < *first)) {
            first = utc;
        }
    };
    const std::int32_t offsetAtFrom = offsetAt(from);
    consider(offsetAtFrom);
    forEachTransition(from, to,
                      [&](const Transition& transition) { consider(transition.offsetAfter); });
    if (first) {
        return *first;
    }
    // Skipped: the next valid wall time is the one the clock jumps to, at the change itself.
    std::optional<std::int64_t> change;
    forEachTransition(from, to, [&](const Transition& transition) {
        if (!change && transition.at + transition.offsetBefore <= local &&
            local < transition.at + transition.offsetAfter) {
            change = transition.at;
        }
    });
    return change.value_or(local - offsetAtFrom);
}

std::optional<std::int64_t> ZoneRules::lastChangeAtOrBefore(std::int64_t utc) const {
    // Changes that keep the offset (only the abbreviation or the daylight flag changes) are
    // passed over; a bound on them keeps a crafted list from costing much.
    for (int step = 0; step < 64; ++step) {
        const Span span = spanAt(utc);
        if (span.from == earliest) {
            return std::nullopt;
        }
        if (offsetAt(span.from - 1) != span.offset) {
            return span.from;
        }
        utc = span.from - 1;
    }
    return std::nullopt;
}

}  // namespace tapwell

#include "core/PosixTimeZoneRule.h"

#include <algorithm>
#include <limits>

#include "core/CivilDate.h"

namespace tapwell {

namespace {

constexpr std::int64_t secondsPerDay = 86400;

bool isAlpha(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

// Reads the string front to back; every read either consumes what it expects or fails, and a
// rule stands only when the whole text was consumed.
class PosixTimeZoneRule::Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::optional<PosixTimeZoneRule> rule() {
        PosixTimeZoneRule result;
        if (!name()) {
            return std::nullopt;
        }
        const auto standard = offset(24);
        if (!standard) {
            return std::nullopt;
        }
        result.standardOffset_ = -*standard;
        if (atEnd()) {
            return result;
        }
        if (!name()) {
            return std::nullopt;
        }
        Daylight daylight;
        // Daylight saving is an hour ahead of standard time unless the string says otherwise.
        daylight.offset = result.standardOffset_ + 3600;
        if (!atEnd() && peek() != ',') {
            const auto stated = offset(24);
            if (!stated) {
                return std::nullopt;
            }
            daylight.offset = -*stated;
        }
        if (atEnd()) {
            // No rule given: the C library's default, the United States' rule since 2007.
            daylight.start = RuleDay{RuleDay::Kind::monthWeekDay, 0, 3, 2};
            daylight.end = RuleDay{RuleDay::Kind::monthWeekDay, 0, 11, 1};
        } else if (!(consume(',') && ruleDay(daylight.start) && ruleTime(daylight.startTime) &&
                     consume(',') && ruleDay(daylight.end) && ruleTime(daylight.endTime) &&
                     atEnd())) {
            return std::nullopt;
        }
        result.daylight_ = daylight;
        return result;
    }

  private:
    bool atEnd() const { return position_ == text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[position_]; }
    bool consume(char c) {
        if (peek() != c) {
            return false;
        }
        ++position_;
        return true;
    }

    // Letters only, or anything of letters, digits and signs between angle brackets; at least
    // three characters either way.
    bool name() {
        constexpr std::size_t longest = 32;
        std::size_t length = 0;
        if (consume('<')) {
            while (isAlpha(peek()) || isDigit(peek()) || peek() == '+' || peek() == '-') {
                ++position_;
                ++length;
            }
            return length >= 3 && length <= longest && consume('>');
        }
        while (isAlpha(peek())) {
            ++position_;
            ++length;
        }
        return length >= 3 && length <= longest;
    }

    // One to `digits` decimal digits.
    std::optional<int> number(int digits) {
        int value = 0;
        int count = 0;
        while (count < digits && isDigit(peek())) {
            value = value * 10 + (peek() - '0');
            ++position_;
            ++count;
        }
        if (count == 0 || isDigit(peek())) {
            return std::nullopt;
        }
        return value;
    }

    // [+-]hh[:mm[:ss]] in seconds, hours at most `maxHours`.
    std::optional<std::int32_t> offset(int maxHours) {
        const bool negative = consume('-');
        if (!negative) {
            consume('+');
        }
        const auto hours = number(3);
        if (!hours || *hours > maxHours) {
            return std::nullopt;
        }
        std::int32_t seconds = *hours * 3600;
        if (consume(':')) {
            const auto minutes = number(2);
            if (!minutes || *minutes > 59) {
                return std::nullopt;
            }
            seconds += *minutes * 60;
            if (consume(':')) {
                const auto rest = number(2);
                if (!rest || *rest > 59) {
                    return std::nullopt;
                }
                seconds += *rest;
            }
        }
        return negative ? -seconds : seconds;
    }

    bool ruleDay(RuleDay& out) {
        if (consume('J')) {
            const auto day = number(3);
            out = RuleDay{RuleDay::Kind::julianWithoutLeapDay, day.value_or(0), 0, 0};
            return day && *day >= 1 && *day <= 365;
        }
        if (consume('M')) {
            const auto month = number(2);
            if (!month || !consume('.')) {
                return false;
            }
            const auto week = number(1);
            if (!week || !consume('.')) {
                return false;
            }
            const auto weekday = number(1);
            out = RuleDay{RuleDay::Kind::monthWeekDay, weekday.value_or(0), *month, *week};
            return weekday && *weekday <= 6 && *month >= 1 && *month <= 12 && *week >= 1 &&
                   *week <= 5;
        }
        const auto day = number(3);
        out = RuleDay{RuleDay::Kind::zeroBasedDay, day.value_or(0), 0, 0};
        return day && *day <= 365;
    }

    // An optional "/time"; the time stays at its default of 02:00 without one.
    bool ruleTime(std::int32_t& out) {
        if (!consume('/')) {
            return true;
        }
        const auto time = offset(167);
        if (!time) {
            return false;
        }
        out = *time;
        return true;
    }

    std::string_view text_;
    std::size_t position_ = 0;
};

std::optional<PosixTimeZoneRule> PosixTimeZoneRule::parse(std::string_view text) {
    return Parser(text).rule();
}

std::int64_t PosixTimeZoneRule::RuleDay::daysSinceEpoch(std::int64_t year) const {
    const std::int64_t firstOfYear = CivilDate{year, 1, 1}.daysSinceEpoch();
    switch (kind) {
        case Kind::julianWithoutLeapDay:
            // Counts 1-365 and never names 29 February.
            return firstOfYear + day - 1 + (CivilDate::isLeapYear(year) && day >= 60 ? 1 : 0);
        case Kind::zeroBasedDay:
            return firstOfYear + day;
        case Kind::monthWeekDay:
            break;
    }
    const std::int64_t firstOfMonth = CivilDate{year, month, 1}.daysSinceEpoch();
    const int firstWeekday = CivilDate::weekdayOfDaysSinceEpoch(firstOfMonth);
    std::int64_t result = firstOfMonth + (day - firstWeekday + 7) % 7 + (week - 1) * 7;
    // Week 5 means the last such weekday, which may be the fourth.
    if (result - firstOfMonth >= CivilDate::daysInMonth(year, month)) {
        result -= 7;
    }
    return result;
}

std::array<PosixTimeZoneRule::Transition, 2> PosixTimeZoneRule::transitionsOfYear(
    std::int64_t year) const {
    const Daylight& rule = *daylight_;
    year = std::clamp(year, -maxYear, maxYear);
    const std::int64_t start =
        rule.start.daysSinceEpoch(year) * secondsPerDay + rule.startTime - standardOffset_;
    const std::int64_t end =
        rule.end.daysSinceEpoch(year) * secondsPerDay + rule.endTime - rule.offset;
    return {Transition{start, standardOffset_, rule.offset},
            Transition{end, rule.offset, standardOffset_}};
}

PosixTimeZoneRule::Span PosixTimeZoneRule::spanAt(std::int64_t utc) const {
    constexpr std::int64_t earliest = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t latest = std::numeric_limits<std::int64_t>::max();
    if (!daylight_) {
        return Span{standardOffset_, earliest, latest};
    }
    // A year's changes may stray up to a week into the next or previous year (times of up to
    // 167 hours), so two years either side always hold the changes before and after `utc`.
    const std::int64_t year =
        CivilDate::fromDaysSinceEpoch(CivilDate::floorDiv(utc, secondsPerDay)).year;
    std::array<Transition, 10> nearby;
    for (int i = 0; i < 5; ++i) {
        const auto pair = transitionsOfYear(year - 2 + i);
        nearby[2 * i] = pair[0];
        nearby[2 * i + 1] = pair[1];
    }
    // Stable, so that at an instant where one year's end meets the next year's start (daylight
    // saving all year) the later-stated change wins.
    std::stable_sort(nearby.begin(), nearby.end(),
                     [](const Transition& a, const Transition& b) { return a.at < b.at; });
    const auto next = std::upper_bound(
        nearby.begin(), nearby.end(), utc,
        [](std::int64_t value, const Transition& transition) { return value < transition.at; });
    const std::int64_t to = next == nearby.end() ? latest : next->at;
    if (next == nearby.begin()) {
        return Span{next->offsetBefore, earliest, to};
    }
    const Transition& last = *(next - 1);
    return Span{last.offsetAfter, last.at, to};
}

}  // namespace tapwell

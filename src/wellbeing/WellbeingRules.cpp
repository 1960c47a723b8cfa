#include "wellbeing/WellbeingRules.h"

#include <algorithm>
#include <cmath>

#include "core/Calendar.h"

namespace tapwell {

namespace {

// Whole minutes from seconds that are already clamped at 0; a far-off date read from a damaged
// ledger must not overflow the conversion.
std::int64_t wholeMinutes(double minutes) {
    constexpr double limit = 0x1p62;
    return static_cast<std::int64_t>(std::min(minutes, limit));
}

}  // namespace

double WellbeingRules::breakThreshold() const {
    return debug ? debugSeconds : static_cast<double>(preferences.breakMinutes) * 60.0;
}

double WellbeingRules::repeatInterval() const {
    return debug ? debugSeconds : repeatSeconds;
}

bool WellbeingRules::inLateWindow(int minute) const {
    if (minute >= preferences.lateMinute) {
        return true;
    }
    return preferences.lateMinute >= eveningMinute && minute < morningMinute;
}

void WellbeingRules::resetStretch() {
    start.reset();
    lastKey.reset();
    lastDate.reset();
    breakSent.reset();
    dimmed = false;
}

void WellbeingRules::setSuspended(bool value) {
    suspended = value;
    resetStretch();
    previousTick.reset();
}

void WellbeingRules::prepare(Date date, double uptime, const Calendar& calendar) {
    if (zone && *zone != calendar.timeZoneID()) {
        resetStretch();
        previousTick.reset();
    }
    zone = calendar.timeZoneID();
    if (lastKey && (uptime < *lastKey || uptime - *lastKey >= idleGap)) {
        resetStretch();
    }
    if (lastDate && date < *lastDate) {
        resetStretch();
    }
    if (ledger.pausedUntil && date >= *ledger.pausedUntil) {
        ledger.pausedUntil.reset();
    }
}

void WellbeingRules::recordKeyDown(Date date, double uptime, const Calendar& calendar) {
    prepare(date, uptime, calendar);
    if (suspended) {
        return;
    }
    if (!start) {
        start = uptime;
    }
    lastKey = uptime;
    lastDate = date;
}

void WellbeingRules::act(BreakAction action, Date date) {
    ledger.deferredUntil =
        date + (action == BreakAction::takeFive ? takeFiveDeferral : snoozeDeferral);
    breakSent.reset();
    dimmed = false;
    if (action == BreakAction::takeFive) {
        // The user is taking a break: the next key-down starts a new stretch.
        resetStretch();
    }
}

bool WellbeingRules::typingActive(double uptime) const {
    return lastKey && *lastKey <= uptime && uptime - *lastKey < idleGap;
}

bool WellbeingRules::spacingAllows(WellbeingEvent event, Date date) const {
    auto it = ledger.last.find(toString(event));
    return it == ledger.last.end() || date - it->second >= repeatInterval();
}

std::optional<std::string> WellbeingRules::nightMarker(Date date, const Calendar& calendar) const {
    // A night that began in the evening keeps the evening's day after midnight, so it is
    // nudged once.
    Date day = date;
    if (calendar.minuteOfDay(date) < morningMinute && preferences.lateMinute >= eveningMinute) {
        auto before = calendar.addingDays(date, -1);
        if (!before) {
            return std::nullopt;
        }
        day = *before;
    }
    return WellbeingLedger::marker(calendar.dayID(day), WellbeingEvent::lateNight);
}

std::optional<WellbeingEvent> WellbeingRules::breakPhase(Date date, double uptime,
                                                         const std::string& today) {
    if (!typingActive(uptime) || !preferences.breakNudge || !start ||
        uptime - *start < breakThreshold()) {
        return std::nullopt;
    }
    const bool underCap = ledger.count(today) <= dailyCapIndex;
    if (ledger.deferredUntil) {
        // The user asked for this nudge later, so the spacing from the last one does not apply.
        if (date >= *ledger.deferredUntil && underCap) {
            ledger.deferredUntil.reset();
            breakSent = uptime;
            dimmed = false;
            return WellbeingEvent::takeBreak;
        }
        return std::nullopt;
    }
    if (!breakSent) {
        if (underCap && spacingAllows(WellbeingEvent::takeBreak, date)) {
            breakSent = uptime;
            dimmed = false;
            return WellbeingEvent::takeBreak;
        }
        return std::nullopt;
    }
    if (uptime - *breakSent >= repeatInterval() && !dimmed && underCap &&
        spacingAllows(WellbeingEvent::edgeDim, date)) {
        dimmed = true;
        return WellbeingEvent::edgeDim;
    }
    return std::nullopt;
}

std::vector<WellbeingEvent> WellbeingRules::evaluate(Date date, double uptime, std::int64_t total,
                                                     const Calendar& calendar, bool contextPaused) {
    prepare(date, uptime, calendar);
    std::vector<WellbeingEvent> events;
    // Passes that give nothing still move the previous tick, so that a wrap-up minute crossed
    // while paused or asleep is not given late.
    if (suspended || contextPaused || (ledger.pausedUntil && date < *ledger.pausedUntil)) {
        previousTick = date;
        return events;
    }
    const std::string today = calendar.dayID(date);

    if (auto event = breakPhase(date, uptime, today)) {
        ledger.commit(*event, today, date, calendar);
        events.push_back(*event);
    }

    if (typingActive(uptime) && status(date, uptime, calendar, false).softer) {
        auto marker = nightMarker(date, calendar);
        if (marker && !ledger.once.contains(*marker) && ledger.count(today) <= dailyCapIndex &&
            spacingAllows(WellbeingEvent::lateNight, date)) {
            ledger.commit(WellbeingEvent::lateNight, today, date, calendar);
            ledger.once.insert(*marker);
            events.push_back(WellbeingEvent::lateNight);
        }
    }

    if (preferences.wrapUp && previousTick && preferences.wrapMinute >= 0 &&
        preferences.wrapMinute < 24 * 60) {
        const auto hour = static_cast<int>(preferences.wrapMinute / 60);
        const auto minute = static_cast<int>(preferences.wrapMinute % 60);
        auto target = calendar.dateOnDay(date, hour, minute, 0);
        if (target && *previousTick < *target && *target <= date &&
            date - *previousTick <= wrapUpCatchUp && ledger.count(today) <= dailyCapIndex &&
            !ledger.once.contains(WellbeingLedger::marker(today, WellbeingEvent::wrapUp)) &&
            spacingAllows(WellbeingEvent::wrapUp, date)) {
            ledger.commit(WellbeingEvent::wrapUp, today, date, calendar);
            events.push_back(WellbeingEvent::wrapUp);
        }
    }

    if (preferences.dailyLimit && total >= preferences.dailyKeystrokes &&
        ledger.count(today) <= dailyCapIndex &&
        !ledger.once.contains(WellbeingLedger::marker(today, WellbeingEvent::dailyLimit)) &&
        spacingAllows(WellbeingEvent::dailyLimit, date)) {
        ledger.commit(WellbeingEvent::dailyLimit, today, date, calendar);
        events.push_back(WellbeingEvent::dailyLimit);
    }

    previousTick = date;
    return events;
}

WellbeingStatus WellbeingRules::status(Date date, double uptime, const Calendar& calendar,
                                       bool contextPaused) const {
    const double elapsed = start ? std::max(0.0, uptime - *start) : 0.0;
    double next = 0.0;
    if (ledger.deferredUntil) {
        next = std::max(0.0, *ledger.deferredUntil - date);
    } else if (breakSent) {
        next = std::max(0.0, *breakSent + repeatInterval() - uptime);
    } else {
        next = std::max(0.0, breakThreshold() - elapsed);
    }
    const int minute = calendar.minuteOfDay(date);

    WellbeingStatus result;
    result.elapsedMinutes = wholeMinutes(std::floor(elapsed / 60.0));
    if (preferences.breakNudge && !suspended && !contextPaused && !dimmed &&
        ledger.count(calendar.dayID(date)) <= dailyCapIndex) {
        result.nextMinutes = wholeMinutes(std::ceil(next / 60.0));
    }
    result.pausedUntil = ledger.pausedUntil;
    result.softer = preferences.lateNight && inLateWindow(minute) &&
                    (!ledger.pausedUntil || date >= *ledger.pausedUntil);
    return result;
}

}  // namespace tapwell

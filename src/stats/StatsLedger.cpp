#include "stats/StatsLedger.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/Saturating.h"

namespace tapwell {

std::string StatsLedger::dayID(Date date, const Calendar& calendar) {
    return calendar.dayID(date);
}

DailyStats& StatsLedger::touch(const std::string& day) {
    auto it = days.find(day);
    if (it == days.end()) {
        it = days.emplace(day, DailyStats::empty(day)).first;
    }
    return it->second;
}

void StatsLedger::resetStreak() {
    recent.clear();
    lastKey.reset();
    streak = 0.0;
}

std::int64_t StatsLedger::currentKpm() const {
    return static_cast<std::int64_t>(recent.size()) * kpmMultiplier;
}

void StatsLedger::prepare(const std::string& id, double uptime, const Calendar& calendar) {
    // A new zone or an uptime clock that went back (a restart) breaks any comparison of uptimes.
    if (!zone || *zone != calendar.timeZoneID() || (lastKey && uptime < lastKey->uptime)) {
        resetStreak();
    }
    if (!currentDay || *currentDay != id) {
        recent.clear();
    }
    if (!zone || *zone != calendar.timeZoneID()) {
        zone = calendar.timeZoneID();
    }
    if (!currentDay || *currentDay != id) {
        currentDay = id;
    }
    if (!days.contains(id)) {
        days.emplace(id, DailyStats::empty(id));
        dirty.insert(id);
    }

    while (!recent.empty() && uptime < recent.back()) {
        recent.pop_back();
    }
    while (!recent.empty() && uptime - recent.front() >= kpmWindow) {
        recent.pop_front();
    }

    if (lastKey && uptime - lastKey->uptime >= pauseLength) {
        if (streak >= breakStreak) {
            // The break belongs to the day on which the pause reached five minutes.
            const std::string breakDay = dayID(lastKey->date + pauseLength, calendar);
            DailyStats& stats = touch(breakDay);
            stats.breaks = saturatingAdd(stats.breaks, 1);
            dirty.insert(breakDay);
        }
        lastKey.reset();
        streak = 0.0;
    }
}

void StatsLedger::addFocus(Date from, Date to, const Calendar& calendar) {
    // Nearly always both keys fall on the day of the later one.
    if (calendarCache.sameDay(from, calendar) && calendarCache.sameDay(to, calendar)) {
        const std::string& day = calendarCache.at(to, calendar).dayID;
        DailyStats& stats = touch(day);
        stats.focusSeconds =
            std::min(DailyStats::longestFocusSeconds, stats.focusSeconds + (to - from));
        dirty.insert(day);
        return;
    }
    Date cursor = from;
    while (cursor < to) {
        // Calendar arithmetic, so that days of 23 or 25 hours split at the real local midnight.
        const std::optional<Date> next = calendar.addingDays(calendar.startOfDay(cursor), 1);
        Date end = to;
        if (next && *next > cursor && *next < to) {
            end = *next;
        }
        const std::string day = dayID(cursor, calendar);
        DailyStats& stats = touch(day);
        stats.focusSeconds =
            std::min(DailyStats::longestFocusSeconds, stats.focusSeconds + (end - cursor));
        dirty.insert(day);
        cursor = end;
    }
}

StatsSnapshot StatsLedger::record(Date date, double uptime, const Calendar& calendar) {
    const DailyStats& today = count(date, uptime, calendar);
    return StatsSnapshot{today, currentKpm()};
}

const DailyStats& StatsLedger::count(Date date, double uptime, const Calendar& calendar) {
    // A copy: `addFocus` may look up other days through the cache.
    const LocalDayCache::Span& span = calendarCache.at(date, calendar);
    const std::string id = span.dayID;
    const int hourOfKey = span.hour;
    prepare(id, uptime, calendar);

    if (lastKey) {
        const double delta = uptime - lastKey->uptime;
        const double wall = date - lastKey->date;
        if (delta >= 0.0 && delta <= longestFocusGap && std::fabs(wall - delta) < clockAgreement) {
            addFocus(lastKey->date, date, calendar);
            streak += delta;
        } else {
            streak = 0.0;
        }
    }

    lastKey = KeyMoment{date, uptime};
    recent.push_back(uptime);

    DailyStats& today = days.at(id);
    // A day read back at the largest count stays there, hour included, so that its hours still
    // add up to its total and the file stays valid.
    if (today.keystrokes < std::numeric_limits<std::int64_t>::max()) {
        today.keystrokes += 1;
        std::int64_t& hour = today.hourly.at(static_cast<std::size_t>(hourOfKey));
        hour = saturatingAdd(hour, 1);
    }
    const std::int64_t kpm = currentKpm();
    today.topKpm = std::max(today.topKpm, kpm);
    dirty.insert(id);
    return today;
}

StatsSnapshot StatsLedger::snapshot(Date date, double uptime, const Calendar& calendar) {
    const std::string id = dayOf(date, calendar);
    prepare(id, uptime, calendar);
    return StatsSnapshot{days.at(id), currentKpm()};
}

}  // namespace tapwell

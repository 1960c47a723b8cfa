#include "stats/LocalDayCache.h"

#include <algorithm>
#include <cmath>

namespace tapwell {

namespace {

// Whether the wall time just before `end` reads hh:mm:59 of `hour` and `minute`, i.e. no change
// of the zone's offset falls between the start of that hour (or minute) and `end`.
bool endsAsExpected(const Calendar& calendar, Date end, int hour, std::optional<int> minute) {
    const Calendar::Components parts = calendar.components(end - 0.5);
    return parts.hour == hour && parts.second == 59 &&
           (minute ? parts.minute == *minute : parts.minute == 59);
}

}  // namespace

const LocalDayCache::Span& LocalDayCache::at(Date date, const Calendar& calendar) {
    if (span_ && span_->holds(date) && zone_ == calendar.timeZoneID()) {
        return *span_;
    }
    Span span;
    if (span_ && zone_ == calendar.timeZoneID() && date >= span_->dayStart &&
        date < span_->dayEnd) {
        span.dayID = std::move(span_->dayID);
        span.dayStart = span_->dayStart;
        span.dayEnd = span_->dayEnd;
    } else {
        span.dayID = calendar.dayID(date);
        span.dayStart = calendar.startOfDay(date);
        // Without an answer from the calendar the span holds this moment alone.
        span.dayEnd = calendar.addingDays(span.dayStart, 1).value_or(date + 1e-6);
    }
    const Calendar::Components parts = calendar.components(date);
    span.hour = parts.hour;
    // Zone offsets are whole seconds, so the fraction of the second is the same in local time.
    const double fraction =
        date.secondsSinceReferenceDate - std::floor(date.secondsSinceReferenceDate);
    const Date minuteStart = date - (parts.second + fraction);
    span.hourStart = minuteStart - parts.minute * 60.0;
    span.hourEnd = span.hourStart + 3600.0;
    // Offsets change on whole minutes, most on whole hours; an hour with a change inside is held
    // a minute at a time.
    if (!endsAsExpected(calendar, span.hourEnd, parts.hour, std::nullopt)) {
        span.hourStart = minuteStart;
        span.hourEnd = minuteStart + 60.0;
        if (!endsAsExpected(calendar, span.hourEnd, parts.hour, parts.minute)) {
            span.hourStart = date;
            span.hourEnd = date + 1e-6;
        }
    }
    span.hourStart = std::max(span.hourStart, span.dayStart);
    span.hourEnd = std::min(span.hourEnd, span.dayEnd);
    span_ = std::move(span);
    zone_ = calendar.timeZoneID();
    return *span_;
}

}  // namespace tapwell

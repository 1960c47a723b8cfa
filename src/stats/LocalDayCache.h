#pragma once
// The local day and hour of a moment, with the bounds of both, kept for the moments that follow:
// keys come many a second and almost all fall in the hour of the key before, where calendar
// arithmetic (a few hundred nanoseconds per call) would give the same answer again. The bounds are
// worked out afresh when a moment falls outside them (time moved on, or the clock was set back)
// or the calendar is of another zone. A plain value; one owner, one thread.

#include <optional>
#include <string>

#include "core/Calendar.h"
#include "core/Clock.h"

namespace tapwell {

class LocalDayCache {
  public:
    struct Span {
        std::string dayID;  // "yyyy-MM-dd"
        Date dayStart;      // the first moment of the day
        Date dayEnd;        // the first moment of the next day
        int hour = 0;       // 0-23
        Date hourStart;     // within the day; [hourStart, hourEnd) all has this hour
        Date hourEnd;

        bool holds(Date date) const { return date >= hourStart && date < hourEnd; }
    };

    // The day and hour of `date` in `calendar`'s zone. The reference stays valid until the next
    // call.
    const Span& at(Date date, const Calendar& calendar);

    // Whether the last span's day holds `date` in the zone of `calendar`.
    bool sameDay(Date date, const Calendar& calendar) const {
        return span_ && zone_ == calendar.timeZoneID() && date >= span_->dayStart &&
               date < span_->dayEnd;
    }

  private:
    std::optional<Span> span_;
    std::string zone_;
};

}  // namespace tapwell

#pragma once
// The decision logic of the wellbeing nudges: it follows the current typing stretch on the uptime
// clock and decides, pass by pass, when to give a break nudge, dim the edges, warn late at night,
// remind to wrap up and report the daily limit. A plain value without threads, timers or storage:
// the wellbeing service owns one, calls it on its queue with the current time, uptime and
// calendar, and persists the ledger it holds.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/Clock.h"
#include "preferences/AppPreferences.h"
#include "wellbeing/WellbeingEvent.h"
#include "wellbeing/WellbeingLedger.h"

namespace tapwell {

class Calendar;

struct WellbeingRules {
    // A gap of this length between key-downs ends the typing stretch.
    static constexpr double idleGap = 300.0;
    static constexpr double repeatSeconds = 1800.0;
    static constexpr double debugSeconds = 60.0;
    static constexpr double takeFiveDeferral = 300.0;
    static constexpr double snoozeDeferral = 900.0;
    // An event is given only while the day's count is at most this.
    static constexpr std::int64_t dailyCapIndex = 5;
    // The wrap-up minute counts only when crossed between two passes at most this far apart.
    static constexpr double wrapUpCatchUp = 90.0;
    // Before this minute of the day an evening late window reaches over midnight.
    static constexpr int morningMinute = 360;
    // Late windows starting at or after this minute reach over midnight to 06:00.
    static constexpr int eveningMinute = 1080;

    AppPreferences preferences;
    WellbeingLedger ledger;
    bool debug = false;
    std::optional<double> start;       // uptime of the stretch's first key-down
    std::optional<double> lastKey;     // uptime of the last key-down
    std::optional<Date> lastDate;      // wall time of the last key-down
    std::optional<std::string> zone;   // time zone of the calendar at the previous call
    std::optional<double> breakSent;   // uptime of this stretch's break nudge
    bool dimmed = false;               // the edges were dimmed in this stretch
    bool suspended = false;            // asleep: key-downs are ignored, nothing is given
    std::optional<Date> previousTick;  // wall time of the previous evaluation

    // Stretch length after which the break nudge is due.
    double breakThreshold() const;
    // Delay from a break nudge to edge dimming, and the spacing between two nudges of one kind.
    double repeatInterval() const;
    // Whether `minute` (0-1439) lies in the late window of the current preferences.
    bool inLateWindow(int minute) const;

    // Housekeeping shared by key-downs and passes: zone changes, idle gaps and clocks going back
    // end the stretch; a pause that has run out is cleared.
    void prepare(Date date, double uptime, const Calendar& calendar);
    // One key-down at `uptime` (its own time stamp), seen at wall time `date`.
    void recordKeyDown(Date date, double uptime, const Calendar& calendar);
    // The user's answer to a break nudge.
    void act(BreakAction action, Date date);
    // One decision pass. Returns the events given, in the order break event, late night, wrap-up,
    // daily limit; each has been committed to the ledger already.
    std::vector<WellbeingEvent> evaluate(Date date, double uptime, std::int64_t total,
                                         const Calendar& calendar, bool contextPaused);
    WellbeingStatus status(Date date, double uptime, const Calendar& calendar,
                           bool contextPaused) const;

    // Sleep and wake: either way the stretch and the wrap-up crossing start afresh.
    void setSuspended(bool value);
    void resetStretch();

  private:
    bool typingActive(double uptime) const;
    bool spacingAllows(WellbeingEvent event, Date date) const;
    std::optional<std::string> nightMarker(Date date, const Calendar& calendar) const;
    std::optional<WellbeingEvent> breakPhase(Date date, double uptime, const std::string& today);
};

}  // namespace tapwell

#include "wellbeing/WellbeingEvent.h"

namespace tapwell {

const char* toString(WellbeingEvent event) {
    switch (event) {
        case WellbeingEvent::takeBreak:
            return "takeBreak";
        case WellbeingEvent::edgeDim:
            return "edgeDim";
        case WellbeingEvent::lateNight:
            return "lateNight";
        case WellbeingEvent::wrapUp:
            return "wrapUp";
        case WellbeingEvent::dailyLimit:
            return "dailyLimit";
    }
    return "takeBreak";
}

std::optional<WellbeingEvent> wellbeingEventFromString(std::string_view raw) {
    for (WellbeingEvent event : allWellbeingEvents) {
        if (raw == toString(event)) {
            return event;
        }
    }
    return std::nullopt;
}

const char* toString(BreakAction action) {
    switch (action) {
        case BreakAction::takeFive:
            return "takeFive";
        case BreakAction::snooze:
            return "snooze";
    }
    return "takeFive";
}

}  // namespace tapwell

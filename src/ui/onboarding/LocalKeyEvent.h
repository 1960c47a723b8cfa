#pragma once
// Keys typed into the onboarding window in the form the application state takes them: the key's
// Linux input code, its direction, whether it repeats or comes with a command modifier, and when
// it was pressed on the uptime clock.
//
// Under xcb (and Qt's Wayland platform) a key event carries the X11 keycode as its native scan
// code, which is the Linux input code plus 8. Elsewhere (the offscreen platform, synthesized
// events) there is no usable scan code and the code is derived from the Qt key: letters, digits,
// the keys that sound differently (space, return, the two deletes), Tab, Escape and the
// modifiers get their Linux codes; every other key gets a code of its own above the Linux range,
// so that its press and release still pair up and it sounds like an ordinary key.

#include <QString>

#include <cstdint>

#include "app/StateView.h"

class QKeyEvent;

namespace tapwell::ui {

// Whether a platform's native scan codes are X11 keycodes.
enum class ScanCodes { x11, none };

// `x11` for "xcb" and the Wayland platforms, else `none`.
ScanCodes scanCodesOf(const QString& platformName);

// The Linux input code of the key.
std::int64_t inputCode(const QKeyEvent& event, ScanCodes scanCodes);

// The uptime, in seconds, of an event stamped `eventMilliseconds`. Under X11 and Wayland a key
// event's time stamp is the server's CLOCK_MONOTONIC in milliseconds, truncated to 32 bits, so
// it is compared with `nowUptime` modulo 2^32. A stamp more than a second ahead or ten seconds
// behind is from another clock (or none); then the event counts as happening now.
double eventUptime(std::uint64_t eventMilliseconds, double nowUptime);

// The whole key as the state's local key handler takes it.
StateView::LocalKey localKey(const QKeyEvent& event, ScanCodes scanCodes, double nowUptime);

}  // namespace tapwell::ui

#pragma once
// The only form in which key input leaves the keyboard folder: what kind of key, press or
// release, and when (uptime seconds). It carries no key identity, by design.

#include <cstdint>

namespace tapwell {

enum class KeyKind { normal, space, enter, delete_ };

const char* toString(KeyKind kind);  // "normal", "space", "enter", "delete"

struct KeyActivity {
    KeyKind kind = KeyKind::normal;
    bool isDown = true;
    double timestamp = 0.0;  // seconds since system start-up, the event's own time stamp

    bool operator==(const KeyActivity&) const = default;
};

}  // namespace tapwell

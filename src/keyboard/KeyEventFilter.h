#pragma once
// Drops modifier keys, automatic repeats and stray releases, so each physical key yields at most
// one press and then one release, and classifies the key. Owned by one key source and used on
// that source's thread only; no lock.

#include <cstdint>
#include <optional>
#include <vector>

#include "keyboard/KeyActivity.h"

namespace tapwell {

KeyKind classify(std::int64_t keyCode);

class KeyEventFilter {
public:
    struct Accepted {
        KeyKind kind;
        bool isDown;
        bool operator==(const Accepted&) const = default;
    };

    KeyEventFilter();

    // No value when the event is dropped; the caller adds the time stamp.
    std::optional<Accepted> accept(bool isDown, std::int64_t keyCode, bool isAutoRepeat);
    // Forgets every held key; call whenever events may have been missed.
    void reset();

    std::size_t pressedCount() const { return pressed_.size(); }

private:
    // Key codes that went down and have not come up. A small flat set: a person holds only a few
    // keys at once, and the key path must not allocate after warm-up.
    std::vector<std::int64_t> pressed_;
};

}  // namespace tapwell

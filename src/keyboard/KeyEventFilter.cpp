#include "keyboard/KeyEventFilter.h"

#include <algorithm>

#include "keyboard/KeyCodes.h"

namespace tapwell {

KeyKind classify(std::int64_t keyCode) {
    switch (keyCode) {
        case keycode::enter:
        case keycode::keypadEnter:
            return KeyKind::enter;
        case keycode::space:
            return KeyKind::space;
        case keycode::backspace:
        case keycode::forwardDelete:
            return KeyKind::delete_;
        default:
            return KeyKind::normal;
    }
}

KeyEventFilter::KeyEventFilter() { pressed_.reserve(32); }

std::optional<KeyEventFilter::Accepted> KeyEventFilter::accept(bool isDown, std::int64_t keyCode,
                                                               bool isAutoRepeat) {
    if (keycode::isModifier(keyCode)) {
        return std::nullopt;
    }
    if (isAutoRepeat) {
        return std::nullopt;
    }
    const auto it = std::find(pressed_.begin(), pressed_.end(), keyCode);
    if (isDown) {
        if (it != pressed_.end()) {
            return std::nullopt;  // a second press without a release is a repeat
        }
        pressed_.push_back(keyCode);
    } else {
        if (it == pressed_.end()) {
            return std::nullopt;  // its press was never seen
        }
        *it = pressed_.back();
        pressed_.pop_back();
    }
    return Accepted{classify(keyCode), isDown};
}

void KeyEventFilter::reset() { pressed_.clear(); }

}  // namespace tapwell

#include "app/MenuBarStatus.h"

namespace tapwell {

void MenuBarStatus::update(std::optional<std::int64_t> count) {
    if (state_.count == count) {
        return;
    }
    state_.count = count;
    if (onChange) {
        onChange();
    }
}

void MenuBarStatus::setLanguage(const std::string& language) {
    if (state_.language == language) {
        return;
    }
    state_.language = language;
    if (onChange) {
        onChange();
    }
}

}  // namespace tapwell

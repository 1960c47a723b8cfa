#pragma once
// What the tray item shows: today's count (none hides it) and the language that formats it.
// Repeated values publish nothing, so the item is redrawn only when its text would change.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/StateView.h"

namespace tapwell {

class MenuBarStatus {
  public:
    // Called after `count` or `language` changed.
    std::function<void()> onChange;

    const MenuBarState& state() const { return state_; }

    void update(std::optional<std::int64_t> count);
    void setLanguage(const std::string& language);

  private:
    MenuBarState state_;
};

}  // namespace tapwell

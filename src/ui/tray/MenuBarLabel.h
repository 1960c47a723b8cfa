#pragma once
// What the tray item says: today's count as an integer in the grouping of the interface
// language's locale ("12,345"; never abbreviated), the name the item goes by, and a short form of
// the count for trays that can only draw it into the icon. It formats anew only when the count or
// the language changed, so hosts are told about a new label only when its text would change.

#include <QString>

#include <cstdint>
#include <optional>

#include "app/StateView.h"
#include "presentation/Localization.h"

namespace tapwell::ui {

class MenuBarLabel {
  public:
    // Takes the tray state; `current` is the program's localization (its tables and, usually,
    // the same language). True when the label's text or name changed.
    bool update(const MenuBarState& state, const Localization& current);

    // The count in the language's grouping; empty while no count is shown.
    const QString& text() const { return text_; }
    // The widest text of the label's length, so hosts that reserve room do not jitter as digits
    // change: every digit written as "0".
    const QString& guide() const { return guide_; }
    // The short count for drawing into an icon ("12K", "1万"); empty while no count is shown.
    const QString& compactText() const { return compact_; }
    // "app.name" in the label's language: the item's title and accessible name.
    const QString& name() const { return name_; }
    // The language the label was formatted in.
    const Localization& localization() const { return *localization_; }

    // `value` in the grouping of `localization`'s locale.
    static QString grouped(const Localization& localization, std::int64_t value);
    // `value` in the locale's short compact form with whole numbers, rounded down so that it
    // never claims more than was typed ("1K" for 1,999), for icons.
    static QString compact(const Localization& localization, std::int64_t value);

  private:
    std::optional<MenuBarState> shown_;
    std::optional<Localization> localization_;
    QString text_;
    QString guide_;
    QString compact_;
    QString name_;
};

}  // namespace tapwell::ui

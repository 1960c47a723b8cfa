#include "ui/tray/MenuBarLabel.h"

#include "ui/common/Look.h"

namespace tapwell::ui {

namespace {

// The localization of `language`: the program's own when it already speaks it, else one built
// from the same string tables.
Localization localizationFor(const std::string& language, const Localization& current) {
    if (current.language() == language) {
        return current;
    }
    const auto& folder = current.bundle().folder();
    return Localization(language, folder.empty() ? folder : folder.parent_path());
}

}  // namespace

bool MenuBarLabel::update(const MenuBarState& state, const Localization& current) {
    if (shown_ == state && localization_) {
        return false;
    }
    shown_ = state;
    if (!localization_ || localization_->language() != state.language) {
        localization_ = localizationFor(state.language, current);
    }
    QString text;
    QString compactText;
    if (state.count) {
        text = grouped(*localization_, *state.count);
        compactText = compact(*localization_, *state.count);
    }
    QString name = qstr(localization_->text("app.name"));
    if (text == text_ && name == name_ && compactText == compact_) {
        return false;
    }
    text_ = std::move(text);
    compact_ = std::move(compactText);
    name_ = std::move(name);
    guide_ = text_;
    for (QChar& character : guide_) {
        if (character.isDigit()) {
            character = QLatin1Char('0');
        }
    }
    return true;
}

QString MenuBarLabel::grouped(const Localization& localization, std::int64_t value) {
    return qstr(localization.groupedInteger(value));
}

QString MenuBarLabel::compact(const Localization& localization, std::int64_t value) {
    return qstr(localization.compactInteger(value));
}

}  // namespace tapwell::ui

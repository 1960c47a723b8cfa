#pragma once
// What every view shares about its look: whether the desktop's palette is dark, theme colours as
// Qt colours, and fonts with digits of equal width (so counts do not jitter as they grow).

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

#include <string>

namespace tapwell::ui {

// A dark palette: the window colour is darker than its text.
bool isDark(const QPalette& palette);

// `over` laid on `base` at `amount` (0...1): tints and secondary colours that follow the
// desktop's palette instead of fixed colours.
QColor blend(const QColor& base, const QColor& over, double amount);

// A theme colour text ("#RRGGBB"); an unreadable text gives black.
QColor themeColor(const std::string& text);

// The desktop's monospaced font at `pointSize` and `weight`: digits of equal width, so a growing
// count does not jump sideways.
QFont monospacedDigits(double pointSize, QFont::Weight weight);

// A UTF-8 string for Qt.
inline QString qstr(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace tapwell::ui

#include "ui/common/Look.h"

#include <QFontDatabase>

#include "themes/Theme.h"

namespace tapwell::ui {

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() <
           palette.color(QPalette::WindowText).lightness();
}

QColor blend(const QColor& base, const QColor& over, double amount) {
    const auto mix = [amount](float a, float b) {
        return static_cast<float>(a + (b - a) * amount);
    };
    return QColor::fromRgbF(mix(base.redF(), over.redF()), mix(base.greenF(), over.greenF()),
                            mix(base.blueF(), over.blueF()));
}

QColor themeColor(const std::string& text) {
    const auto rgb = themeHex(text);
    return QColor::fromRgbF(static_cast<float>(rgb.red), static_cast<float>(rgb.green),
                            static_cast<float>(rgb.blue));
}

QFont monospacedDigits(double pointSize, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(pointSize);
    font.setWeight(weight);
    return font;
}

}  // namespace tapwell::ui

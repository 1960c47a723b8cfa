// The tray item as panels show it: the keycap at 1x and 2x, with sounds on and muted, with the
// count beside it (StatusNotifierItem hosts) or drawn into it (X11 trays), on a panel of the
// scheme's shade; and the item's menu.

#include <QApplication>
#include <QFont>
#include <QPainter>

#include "Screens.h"
#include "ui/common/Look.h"
#include "ui/tray/MenuBarIcon.h"
#include "ui/tray/MenuBarLabel.h"
#include "ui/tray/TrayMenu.h"

namespace tapwell::screenshots {

namespace {

using ui::MenuBarIcon;

// One panel strip at `scale`: the item as each kind of host draws it.
void drawPanel(QPainter& painter, QRect strip, double scale, MenuBarIcon::Tone tone,
               const ui::MenuBarLabel& label) {
    const QColor panel =
        tone == MenuBarIcon::Tone::light ? QColor(0x1c, 0x1c, 0x20) : QColor(0xe8, 0xe8, 0xec);
    const QColor ink =
        tone == MenuBarIcon::Tone::light ? QColor(0xf4, 0xf4, 0xf6) : QColor(0x1e, 0x1e, 0x22);
    painter.fillRect(strip, panel);
    const int icon = 22;
    const int gap = static_cast<int>(12 * scale);
    QFont font = QApplication::font();
    font.setPixelSize(static_cast<int>(std::lround(14 * scale)));
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(ink);
    int x = strip.left() + gap;
    const int top = strip.top() + (strip.height() - static_cast<int>(icon * scale)) / 2;
    auto place = [&](const QImage& image) {
        painter.drawImage(QPoint(x, top), image);
        x += static_cast<int>(icon * scale) + static_cast<int>(6 * scale);
    };
    auto text = [&](const QString& words) {
        const QRect box(x, strip.top(), painter.fontMetrics().horizontalAdvance(words),
                        strip.height());
        painter.drawText(box, Qt::AlignVCenter | Qt::AlignLeft, words);
        x += box.width() + 2 * gap;
    };
    for (bool muted : {false, true}) {
        const MenuBarIcon::Look look{tone, muted};
        QImage image = MenuBarIcon::image(icon, scale, look);
        image.setDevicePixelRatio(1.0);  // drawn pixel for pixel
        place(image);
        text(label.text());
    }
    for (bool muted : {false, true}) {
        QImage image = MenuBarIcon::imageWithCount(icon, scale, {tone, muted}, label.compactText());
        image.setDevicePixelRatio(1.0);
        place(image);
        x += gap;
    }
}

QImage trayPanels(AppModel& model, test::RecordingState& state) {
    ui::MenuBarLabel label;
    label.update(state.menuBar(), model.state().localization());
    const auto tone =
        ui::isDark(QApplication::palette()) ? MenuBarIcon::Tone::light : MenuBarIcon::Tone::dark;
    QImage image(640, 32 + 64 + 24, QImage::Format_ARGB32_Premultiplied);
    image.fill(QApplication::palette().color(QPalette::Window));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    drawPanel(painter, QRect(0, 0, image.width(), 32), 1.0, tone, label);
    drawPanel(painter, QRect(0, 32 + 12, image.width(), 64), 2.0, tone, label);
    painter.end();
    return image;
}

QImage trayMenu(AppModel& model, test::RecordingState&) {
    ui::TrayMenu menu(model);
    menu.refresh();
    menu.adjustSize();
    return menu.grab().toImage();
}

}  // namespace

std::vector<Screen> trayScreens() {
    return {
        {"tray", trayPanels},
        {"tray-menu", trayMenu},
        {"tray-menu-muted",
         [](AppModel& model, test::RecordingState& state) {
             state.soundValue.mutedUntil = state.nowValue + 42 * 60.0;
             state.wellbeingValue.pausedUntil = state.nowValue + 3600.0;
             QImage image = trayMenu(model, state);
             state.soundValue.mutedUntil.reset();
             state.wellbeingValue.pausedUntil.reset();
             return image;
         }},
    };
}

}  // namespace tapwell::screenshots

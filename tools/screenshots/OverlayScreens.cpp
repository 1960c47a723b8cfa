// The caps lock badge and the dimmed edges, each over a plain stand-in for a desktop, since both
// are translucent.

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

#include "Screens.h"
#include "presentation/OverlayService.h"
#include "ui/overlays/CapsLockBadge.h"
#include "ui/overlays/EdgeShade.h"

namespace tapwell::screenshots {

namespace {

// A desktop in the palette's colours: a wallpaper and a window with a few lines of text, so that
// what the overlays do to the content beneath shows.
QImage desktop(QSize size) {
    QImage image(size * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    const QPalette palette = QApplication::palette();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient wallpaper(0, 0, size.width(), size.height());
    wallpaper.setColorAt(0, QColor(0x4a, 0x6f, 0x8a));
    wallpaper.setColorAt(1, QColor(0x9c, 0x7a, 0x6a));
    painter.fillRect(QRect(QPoint(0, 0), size), wallpaper);
    const QRectF window(size.width() * 0.06, size.height() * 0.08, size.width() * 0.88,
                        size.height() * 0.84);
    QPainterPath frame;
    frame.addRoundedRect(window, 8, 8);
    painter.fillPath(frame, palette.color(QPalette::Base));
    painter.setPen(palette.color(QPalette::Text));
    QFont font = QApplication::font();
    font.setPixelSize(13);
    painter.setFont(font);
    painter.setClipPath(frame);
    const QString line = QStringLiteral(
        "The quick brown fox jumps over the lazy dog, and keeps typing for a while longer.");
    for (double y = window.top() + 28; y < window.bottom() - 10; y += 22) {
        painter.drawText(QPointF(window.left() + 20, y), line);
    }
    return image;
}

}  // namespace

std::vector<Screen> overlayScreens() {
    return {
        {"badge",
         [](AppModel& model, test::RecordingState&) {
             QImage image = desktop(QSize(360, 170));
             QPainter painter(&image);
             const QRectF badge((360 - OverlayService::badgeWidth) / 2.0,
                                (170 - OverlayService::badgeHeight) / 2.0,
                                OverlayService::badgeWidth, OverlayService::badgeHeight);
             ui::CapsLockBadge::paint(painter, badge, model.text("hud.capsLockOn"),
                                      QApplication::palette(), true);
             return image;
         }},
        {"edgedim",
         [](AppModel&, test::RecordingState&) {
             QImage image = desktop(QSize(640, 400));
             QPainter painter(&image);
             ui::EdgeShade::paint(painter, QRectF(0, 0, 640, 400));
             return image;
         }},
    };
}

}  // namespace tapwell::screenshots

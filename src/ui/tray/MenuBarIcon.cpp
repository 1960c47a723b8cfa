#include "ui/tray/MenuBarIcon.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "ui/common/Look.h"

namespace tapwell::ui {

namespace {

// A rectangle of the grid, whose origin is the bottom left corner, in Qt's coordinates (origin top
// left).
QRectF onGrid(double x, double y, double width, double height) {
    return {x, MenuBarIcon::canvas - (y + height), width, height};
}

const QRectF outerKey = onGrid(1, 2, 16, 14);
const QRectF keyTop = onGrid(4, 6, 10, 7);
constexpr double outerRadius = 3.0;
constexpr double keyTopRadius = 1.5;
constexpr double outerLine = 1.3;
constexpr double keyTopLine = 0.9;

// Dimmed keycap and the slash across it while muted.
constexpr double mutedOpacity = 0.5;
const QLineF slash(QPointF(2.0, 1.5), QPointF(16.0, 16.5));
constexpr double slashGap = 1.1;  // cleared on each side of the slash, so it reads on the outline

QColor ink(MenuBarIcon::Tone tone) {
    return tone == MenuBarIcon::Tone::light ? QColor(0xf4, 0xf4, 0xf6) : QColor(0x1e, 0x1e, 0x22);
}

QPen strokePen(MenuBarIcon::Tone tone, double width) {
    QPen pen(ink(tone), width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

// A transparent image of `size` points at the ratio and a painter that draws on the grid.
QImage blank(int size, double devicePixelRatio) {
    const int pixels = std::max(1, static_cast<int>(std::lround(size * devicePixelRatio)));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void toGrid(QPainter& painter, const QImage& image) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(image.width() / MenuBarIcon::canvas, image.height() / MenuBarIcon::canvas);
}

void drawMuteSlash(QPainter& painter, MenuBarIcon::Tone tone) {
    painter.setOpacity(1.0);
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.setPen(strokePen(tone, outerLine + 2 * slashGap));
    painter.drawLine(slash);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setPen(strokePen(tone, outerLine));
    painter.drawLine(slash);
}

// Halves the image's opacity.
void dim(QImage& image) {
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    painter.fillRect(image.rect(), QColor(0, 0, 0, static_cast<int>(255 * mutedOpacity)));
}

QImage finish(QImage image, double devicePixelRatio) {
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

}  // namespace

QImage MenuBarIcon::image(int size, double devicePixelRatio, Look look) {
    QImage image = blank(size, devicePixelRatio);
    QPainter painter(&image);
    toGrid(painter, image);
    painter.setOpacity(look.muted ? mutedOpacity : 1.0);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(strokePen(look.tone, outerLine));
    painter.drawRoundedRect(outerKey, outerRadius, outerRadius);
    painter.setPen(strokePen(look.tone, keyTopLine));
    painter.drawRoundedRect(keyTop, keyTopRadius, keyTopRadius);
    if (look.muted) {
        drawMuteSlash(painter, look.tone);
    }
    painter.end();
    return finish(std::move(image), devicePixelRatio);
}

QImage MenuBarIcon::imageWithCount(int size, double devicePixelRatio, Look look,
                                   const QString& count) {
    QImage image = blank(size, devicePixelRatio);
    QPainter painter(&image);
    toGrid(painter, image);
    // A solid key with the count cut out of it: at tray sizes, cut-out text on a filled shape
    // reads better than thin text inside an outline.
    painter.setPen(strokePen(look.tone, outerLine));
    painter.setBrush(ink(look.tone));
    painter.drawRoundedRect(outerKey, outerRadius, outerRadius);

    // The largest bold text that fits the key, in whole pixel sizes.
    const double scale = image.width() / canvas;
    painter.save();
    painter.resetTransform();
    const double room = (outerKey.width() - 2.0) * scale;
    const double height = (outerKey.height() - 4.0) * scale;
    QFont font;
    font.setBold(true);
    int pixelSize = static_cast<int>(std::lround(height * 1.25));
    for (; pixelSize > 5; --pixelSize) {
        font.setPixelSize(pixelSize);
        const QFontMetricsF metrics(font);
        if (metrics.horizontalAdvance(count) <= room && metrics.capHeight() <= height) {
            break;
        }
    }
    font.setPixelSize(pixelSize);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    const QFontMetricsF metrics(font);
    const QPointF centre = outerKey.center() * scale;
    painter.drawText(QPointF(centre.x() - metrics.horizontalAdvance(count) / 2,
                             centre.y() + metrics.capHeight() / 2),
                     count);
    painter.restore();
    painter.end();
    if (look.muted) {
        dim(image);
        QPainter slashPainter(&image);
        toGrid(slashPainter, image);
        drawMuteSlash(slashPainter, look.tone);
    }
    return finish(std::move(image), devicePixelRatio);
}

const std::vector<int>& MenuBarIcon::offeredSizes() {
    static const std::vector<int> sizes{16, 22, 24, 32, 44, 48, 64};
    return sizes;
}

MenuBarIcon::Tone MenuBarIcon::toneFor(const QPalette& palette, const QString& desktop) {
    if (desktop.contains(QStringLiteral("GNOME"), Qt::CaseInsensitive)) {
        return Tone::light;
    }
    return isDark(palette) ? Tone::light : Tone::dark;
}

}  // namespace tapwell::ui

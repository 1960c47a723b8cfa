#include "ui/overlays/CapsLockBadge.h"

#include <QApplication>
#include <QBitmap>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

#include "presentation/OverlayService.h"
#include "ui/common/Look.h"

namespace tapwell::ui {

namespace {

constexpr double cornerRadius = 16.0;
constexpr double inset = 20.0;
constexpr int titlePixels = 20;  // a third-level title
constexpr int smallestPixels = 13;
constexpr double symbolGap = 8.0;

QPainterPath plate(const QRectF& rect) {
    QPainterPath path;
    path.addRoundedRect(rect, cornerRadius, cornerRadius);
    return path;
}

// The caps lock key's symbol, filled: an upward arrow on a stem, over a bar.
void paintSymbol(QPainter& painter, const QRectF& box, const QColor& color) {
    const auto at = [&box](double x, double y) {
        return QPointF(box.left() + x * box.width(), box.top() + y * box.height());
    };
    QPainterPath arrow;
    arrow.moveTo(at(0.5, 0.04));
    arrow.lineTo(at(0.96, 0.5));
    arrow.lineTo(at(0.72, 0.5));
    arrow.lineTo(at(0.72, 0.7));
    arrow.lineTo(at(0.28, 0.7));
    arrow.lineTo(at(0.28, 0.5));
    arrow.lineTo(at(0.04, 0.5));
    arrow.closeSubpath();
    QPainterPath bar;
    bar.addRoundedRect(QRectF(at(0.28, 0.8), at(0.72, 0.96)), box.width() * 0.04,
                       box.width() * 0.04);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // A thin outline in the same colour rounds the arrow's corners.
    painter.setPen(QPen(color, box.width() * 0.07, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(color);
    painter.drawPath(arrow);
    painter.setPen(Qt::NoPen);
    painter.drawPath(bar);
    painter.restore();
}

}  // namespace

CapsLockBadge::CapsLockBadge(const QString& text, bool composited)
    : OverlayWindow(composited), text_(text) {
    setFixedSize(OverlayService::badgeWidth, OverlayService::badgeHeight);
    setWindowTitle(text);
    if (!composited) {
        QBitmap mask(size());
        mask.fill(Qt::color0);
        QPainter shape(&mask);
        shape.setRenderHint(QPainter::Antialiasing, false);
        shape.fillPath(plate(QRectF(rect())), Qt::color1);
        shape.end();
        setMask(mask);
    }
}

void CapsLockBadge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, QRectF(rect()), text_, palette(), composited());
}

void CapsLockBadge::paint(QPainter& painter, const QRectF& rect, const QString& text,
                          const QPalette& palette, bool translucent) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const bool dark = isDark(palette);
    const QColor ink = palette.color(QPalette::WindowText);
    // A stand-in for a frosted material: the desktop's own window colour, mostly opaque, with a
    // hairline edge that keeps it apart from a background of the same colour.
    QColor fill = dark ? QColor(0x2c, 0x2c, 0x30) : QColor(0xf6, 0xf6, 0xf8);
    if (translucent) {
        fill.setAlphaF(0.92f);
    }
    QColor edge = ink;
    edge.setAlphaF(0.12f);
    const QPainterPath shape = plate(rect.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.fillPath(shape, fill);
    painter.setPen(QPen(edge, 1.0));
    painter.drawPath(shape);

    const QRectF content = rect.adjusted(inset, inset, -inset, -inset);
    QFont font = QApplication::font();
    font.setWeight(QFont::Medium);
    int pixels = titlePixels;
    QString shown = text;
    for (;;) {
        font.setPixelSize(pixels);
        const QFontMetricsF metrics(font);
        const double needed = pixels + symbolGap + metrics.horizontalAdvance(shown);
        if (needed <= content.width()) {
            break;
        }
        if (pixels > smallestPixels) {
            --pixels;
            continue;
        }
        shown = metrics.elidedText(text, Qt::ElideRight, content.width() - pixels - symbolGap);
        break;
    }
    const QFontMetricsF metrics(font);
    const double symbol = pixels;
    const double width = symbol + symbolGap + metrics.horizontalAdvance(shown);
    const double left = content.left() + (content.width() - width) / 2.0;
    const double middle = content.center().y();
    paintSymbol(painter, QRectF(left, middle - symbol / 2.0, symbol, symbol), ink);
    painter.setFont(font);
    painter.setPen(ink);
    // Centre the text's capital height on the symbol's middle.
    const double baseline = middle + metrics.capHeight() / 2.0;
    painter.drawText(QPointF(left + symbol + symbolGap, baseline), shown);
    painter.restore();
}

}  // namespace tapwell::ui

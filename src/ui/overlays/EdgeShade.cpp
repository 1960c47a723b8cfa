#include "ui/overlays/EdgeShade.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRegion>
#include <QResizeEvent>

#include <cmath>

namespace tapwell::ui {

namespace {

// An ordered dither over 16 lines: the line at `index` is drawn when the wanted darkness exceeds
// its threshold, so density follows darkness in small steps.
bool drawLine(int index, double darkness) {
    static constexpr int order[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    return (order[index % 16] + 0.5) / 16.0 < darkness;
}

// Without a compositor nothing can be blended: the window shows black lines whose density falls
// from the edge towards the centre, and lets everything between them show through.
QRegion ditheredBands(const QSize& size) {
    QRegion region;
    const int sideBand = static_cast<int>(std::lround(size.width() * EdgeShade::bandFraction));
    const int endBand = static_cast<int>(std::lround(size.height() * EdgeShade::bandFraction));
    for (int i = 0; i < sideBand; ++i) {
        if (drawLine(i, EdgeShade::sideOpacity * (1.0 - static_cast<double>(i) / sideBand))) {
            region += QRect(i, 0, 1, size.height());
            region += QRect(size.width() - 1 - i, 0, 1, size.height());
        }
    }
    for (int i = 0; i < endBand; ++i) {
        if (drawLine(i, EdgeShade::endOpacity * (1.0 - static_cast<double>(i) / endBand))) {
            region += QRect(0, i, size.width(), 1);
            region += QRect(0, size.height() - 1 - i, size.width(), 1);
        }
    }
    return region;
}

void band(QPainter& painter, const QRectF& area, QPointF edge, QPointF centre, double opacity) {
    QLinearGradient gradient(edge, centre);
    gradient.setColorAt(0.0, QColor::fromRgbF(0, 0, 0, static_cast<float>(opacity)));
    gradient.setColorAt(1.0, QColor::fromRgbF(0, 0, 0, 0));
    painter.fillRect(area, gradient);
}

}  // namespace

EdgeShade::EdgeShade(bool composited) : OverlayWindow(composited) {}

void EdgeShade::paint(QPainter& painter, const QRectF& rect) {
    const double side = rect.width() * bandFraction;
    const double end = rect.height() * bandFraction;
    band(painter, QRectF(rect.left(), rect.top(), side, rect.height()), rect.topLeft(),
         QPointF(rect.left() + side, rect.top()), sideOpacity);
    band(painter, QRectF(rect.right() - side, rect.top(), side, rect.height()), rect.topRight(),
         QPointF(rect.right() - side, rect.top()), sideOpacity);
    band(painter, QRectF(rect.left(), rect.top(), rect.width(), end), rect.topLeft(),
         QPointF(rect.left(), rect.top() + end), endOpacity);
    band(painter, QRectF(rect.left(), rect.bottom() - end, rect.width(), end), rect.bottomLeft(),
         QPointF(rect.left(), rect.bottom() - end), endOpacity);
}

void EdgeShade::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (composited()) {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(rect(), Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        paint(painter, QRectF(rect()));
    } else {
        painter.fillRect(rect(), Qt::black);
    }
}

void EdgeShade::resizeEvent(QResizeEvent* event) {
    if (!composited()) {
        setMask(ditheredBands(event->size()));
    }
    OverlayWindow::resizeEvent(event);
}

}  // namespace tapwell::ui

#include "ui/onboarding/StatusMark.h"

#include <QPainter>
#include <QPainterPath>

#include "ui/common/Look.h"

namespace tapwell::ui {

StatusMark::StatusMark(QWidget* parent, Kind kind, int size)
    : QWidget(parent), kind_(kind), size_(size) {
    setFixedSize(size, size);
    setFocusPolicy(Qt::NoFocus);
}

void StatusMark::setKind(Kind kind) {
    if (kind != kind_) {
        kind_ = kind;
        update();
    }
}

QColor StatusMark::goodColor(const QPalette& palette) {
    return isDark(palette) ? QColor(0x4c, 0xc3, 0x6e) : QColor(0x1c, 0x86, 0x3e);
}

QColor StatusMark::attentionColor(const QPalette& palette) {
    return isDark(palette) ? QColor(0xf2, 0xb1, 0x3c) : QColor(0xb8, 0x6a, 0x00);
}

void StatusMark::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 20 x 20 grid, scaled to the widget.
    const double scale = std::min(width(), height()) / 20.0;
    painter.scale(scale, scale);
    const QPalette& colors = palette();
    const auto stroke = [](const QColor& color, double width) {
        return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    };
    QPainterPath tick;
    tick.moveTo(5.5, 10.5);
    tick.lineTo(8.6, 13.6);
    tick.lineTo(14.5, 6.8);

    switch (kind_) {
        case Kind::good:
        case Kind::attention: {
            const QColor fill = kind_ == Kind::good ? goodColor(colors) : attentionColor(colors);
            const QColor ink = isDark(colors) ? QColor(0x14, 0x14, 0x16) : QColor(Qt::white);
            painter.setPen(Qt::NoPen);
            painter.setBrush(fill);
            painter.drawEllipse(QRectF(0.5, 0.5, 19.0, 19.0));
            painter.setBrush(Qt::NoBrush);
            if (kind_ == Kind::good) {
                painter.setPen(stroke(ink, 2.2));
                painter.drawPath(tick);
            } else {
                painter.setPen(stroke(ink, 2.4));
                painter.drawLine(QPointF(10.0, 5.2), QPointF(10.0, 11.2));
                painter.drawPoint(QPointF(10.0, 14.8));
            }
            break;
        }
        case Kind::tick:
            painter.setPen(stroke(goodColor(colors), 2.0));
            painter.drawPath(tick);
            break;
        case Kind::cross: {
            const QColor ink =
                blend(colors.color(QPalette::Window), colors.color(QPalette::WindowText), 0.6);
            painter.setPen(stroke(ink, 2.0));
            painter.drawLine(QPointF(6.0, 6.0), QPointF(14.0, 14.0));
            painter.drawLine(QPointF(14.0, 6.0), QPointF(6.0, 14.0));
            break;
        }
    }
}

}  // namespace tapwell::ui

#include "ui/settings/BarChart.h"

#include <QPainter>

#include <algorithm>

#include "ui/common/Look.h"

namespace tapwell::ui {

BarChart::BarChart(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::NoFocus);
}

void BarChart::setBars(std::vector<Bar> bars, std::optional<std::size_t> picked, QString peakText) {
    if (bars == bars_ && picked == picked_ && peakText == peakText_) {
        return;
    }
    bars_ = std::move(bars);
    picked_ = picked;
    peakText_ = std::move(peakText);
    update();
}

void BarChart::setAccent(QColor accent) {
    accent_ = accent;
    update();
}

QSize BarChart::sizeHint() const {
    return {420, 150};
}

QSize BarChart::minimumSizeHint() const {
    return {200, 150};
}

void BarChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor window = palette().color(QPalette::Window);
    const QColor text = palette().color(QPalette::WindowText);
    const QColor accent = accent_.isValid() ? accent_ : palette().color(QPalette::Highlight);
    const QColor secondary = palette().color(QPalette::PlaceholderText);

    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    const QFontMetrics smallMetrics(small);
    const int top = smallMetrics.height() + 4;
    const int bottom = height() - smallMetrics.height() - 4;
    const QRectF plot(0, top, width(), bottom - top);

    painter.setFont(small);
    painter.setPen(secondary);
    if (!peakText_.isEmpty()) {
        painter.drawText(QRectF(0, 0, width(), top), Qt::AlignLeft | Qt::AlignVCenter, peakText_);
    }
    painter.setPen(QPen(blend(window, text, 0.25), 1.0));
    painter.drawLine(QPointF(plot.left(), plot.bottom() + 0.5),
                     QPointF(plot.right(), plot.bottom() + 0.5));
    if (bars_.empty()) {
        return;
    }
    std::int64_t peak = 1;
    for (const Bar& bar : bars_) {
        peak = std::max(peak, bar.value);
    }
    const qreal slot = plot.width() / static_cast<qreal>(bars_.size());
    const qreal barWidth = std::max<qreal>(2.0, slot * 0.66);
    const QColor quiet = blend(window, accent, isDark(palette()) ? 0.55 : 0.45);
    for (std::size_t i = 0; i < bars_.size(); ++i) {
        const qreal x = plot.left() + slot * static_cast<qreal>(i) + (slot - barWidth) / 2;
        const qreal h =
            bars_[i].value <= 0
                ? 0.0
                : std::max<qreal>(2.0, plot.height() * static_cast<qreal>(bars_[i].value) /
                                           static_cast<qreal>(peak));
        if (h > 0) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(picked_ == i ? accent : quiet);
            painter.drawRoundedRect(QRectF(x, plot.bottom() - h, barWidth, h + 2), 2.5, 2.5);
        }
        if (!bars_[i].label.isEmpty()) {
            painter.setPen(picked_ == i ? text : secondary);
            const qreal labelWidth =
                std::max<qreal>(slot, smallMetrics.horizontalAdvance(bars_[i].label) + 4);
            painter.drawText(QRectF(x + barWidth / 2 - labelWidth / 2, bottom + 2, labelWidth,
                                    smallMetrics.height()),
                             Qt::AlignHCenter | Qt::AlignTop, bars_[i].label);
        }
    }
}

}  // namespace tapwell::ui

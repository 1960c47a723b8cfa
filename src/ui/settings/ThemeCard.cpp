#include "ui/settings/ThemeCard.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFocusRect>
#include <QTextLayout>

#include "ui/common/Look.h"

namespace tapwell::ui {

namespace {

constexpr int radius = 10;
constexpr int padding = 14;
constexpr int keycaps = 6;

// `text` laid out in `box` with `font`, in at most `lines` lines, the last elided.
void drawWrapped(QPainter& painter, const QRectF& box, const QString& text, const QFont& font,
                 int lines) {
    const QFontMetricsF metrics(font);
    QTextLayout layout(text, font);
    layout.beginLayout();
    qreal y = box.top();
    int drawn = 0;
    painter.setFont(font);
    while (drawn < lines) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(box.width());
        QString part = text.mid(line.textStart(), line.textLength());
        ++drawn;
        if (drawn == lines && line.textStart() + line.textLength() < text.size()) {
            part = metrics.elidedText(text.mid(line.textStart()), Qt::ElideRight, box.width());
        }
        painter.drawText(QPointF(box.left(), y + metrics.ascent()), part.trimmed());
        y += metrics.lineSpacing();
    }
    layout.endLayout();
}

}  // namespace

ThemeCard::ThemeCard(const Theme& theme, QString name, QString tagline, QWidget* parent)
    : QAbstractButton(parent),
      id_(theme.id),
      tagline_(std::move(tagline)),
      background_(themeColor(theme.colors.recap.background)),
      text_(themeColor(theme.colors.recap.text)),
      secondary_(themeColor(theme.colors.recap.secondary)),
      accent_(themeColor(theme.colors.accent)),
      onAccent_(themeColor(theme.colors.onAccent)),
      keycap_(themeColor(theme.colors.keycap)) {
    setObjectName(QStringLiteral("theme:") + qstr(theme.id));
    setCheckable(true);
    setText(name);
    setAccessibleName(name);
    setAccessibleDescription(tagline_);
    setToolTip(tagline_);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

QSize ThemeCard::sizeHint() const {
    return {260, 118};
}

QSize ThemeCard::minimumSizeHint() const {
    return {200, 118};
}

void ThemeCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (!isEnabled()) {
        painter.setOpacity(0.45);
    }
    const QRectF card = QRectF(rect()).adjusted(2, 2, -2, -2);
    const QColor window = palette().color(QPalette::Window);
    const QColor outline =
        isChecked() ? accent_ : blend(window, palette().color(QPalette::WindowText), 0.18);
    painter.setPen(QPen(outline, isChecked() ? 2.5 : 1.0));
    painter.setBrush(underMouse() && isEnabled() && !isChecked() ? background_.darker(104)
                                                                 : background_);
    painter.drawRoundedRect(card, radius, radius);

    // Name and tagline.
    QFont nameFont = font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.1);
    const QFontMetricsF nameMetrics(nameFont);
    const qreal badge = isChecked() ? 22 : 0;
    painter.setPen(text_);
    painter.setFont(nameFont);
    const QRectF nameBox(card.left() + padding, card.top() + padding - 2,
                         card.width() - 2 * padding - badge, nameMetrics.height());
    painter.drawText(nameBox, Qt::AlignLeft | Qt::AlignVCenter,
                     nameMetrics.elidedText(text(), Qt::ElideRight, nameBox.width()));
    QFont taglineFont = font();
    taglineFont.setPointSizeF(taglineFont.pointSizeF() * 0.9);
    painter.setPen(secondary_);
    drawWrapped(painter,
                QRectF(card.left() + padding, nameBox.bottom() + 5, card.width() - 2 * padding,
                       card.height()),
                tagline_, taglineFont, 2);

    // A row of keycaps along the bottom, one of them in the accent.
    const qreal capSize = 16;
    const qreal gap = 5;
    const qreal y = card.bottom() - padding - capSize + 2;
    for (int i = 0; i < keycaps; ++i) {
        const QRectF cap(card.left() + padding + i * (capSize + gap), y, capSize, capSize);
        const bool lit = i == 2;
        painter.setPen(QPen((lit ? accent_ : keycap_).darker(lit ? 125 : 118), 1.0));
        painter.setBrush(lit ? accent_ : keycap_);
        painter.drawRoundedRect(cap, 3.5, 3.5);
    }

    // The tick of the chosen theme.
    if (isChecked()) {
        const QRectF mark(card.right() - padding - 18, card.top() + padding - 3, 18, 18);
        painter.setPen(Qt::NoPen);
        painter.setBrush(accent_);
        painter.drawEllipse(mark);
        QPainterPath tick;
        tick.moveTo(mark.left() + 5, mark.center().y() + 0.5);
        tick.lineTo(mark.left() + 8, mark.center().y() + 3.5);
        tick.lineTo(mark.right() - 4.5, mark.top() + 5.5);
        painter.setPen(QPen(onAccent_, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(tick);
    }

    if (hasFocus()) {
        painter.setOpacity(1.0);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2.0, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(card.adjusted(4, 4, -4, -4), radius - 3, radius - 3);
    }
}

}  // namespace tapwell::ui

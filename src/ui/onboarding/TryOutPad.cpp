#include "ui/onboarding/TryOutPad.h"

#include <QPainter>
#include <QVariantAnimation>

#include "ui/common/Look.h"

namespace tapwell::ui {

namespace {

constexpr int glowMilliseconds = 260;
constexpr double cornerRadius = 12.0;

}  // namespace

TryOutPad::TryOutPad(QWidget* parent) : QWidget(parent), fade_(new QVariantAnimation(this)) {
    setObjectName(QStringLiteral("tryOutPad"));
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    fade_->setStartValue(1.0);
    fade_->setEndValue(0.0);
    fade_->setDuration(glowMilliseconds);
    fade_->setEasingCurve(QEasingCurve::OutCubic);
    connect(fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        glow_ = value.toDouble();
        update();
    });
}

void TryOutPad::setTexts(const QString& prompt, const QString& count, const QString& caption) {
    if (prompt == prompt_ && count == count_ && caption == caption_) {
        return;
    }
    prompt_ = prompt;
    count_ = count;
    caption_ = caption;
    setAccessibleDescription(count_.isEmpty() ? prompt_ : count_ + QLatin1Char(' ') + caption_);
    update();
}

void TryOutPad::setAccent(const QColor& accent) {
    accent_ = accent;
    update();
}

void TryOutPad::setListening(bool listening) {
    if (listening != listening_) {
        listening_ = listening;
        update();
    }
}

void TryOutPad::pulse() {
    fade_->stop();
    fade_->start();
}

QSize TryOutPad::sizeHint() const {
    return {440, 170};
}

QSize TryOutPad::minimumSizeHint() const {
    return {240, 130};
}

void TryOutPad::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void TryOutPad::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

void TryOutPad::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& colors = palette();
    const QColor window = colors.color(QPalette::Window);
    const QColor text = colors.color(QPalette::WindowText);
    const QColor accent = accent_.isValid() ? accent_ : colors.color(QPalette::Highlight);
    const bool dark = isDark(colors);

    // The field: the palette's input colour, tinted by the glow of the last press.
    const QRectF box = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    const QColor base = colors.color(QPalette::Base);
    painter.setBrush(blend(base, accent, glow_ * (dark ? 0.30 : 0.22)));
    // A listening pad wears the accent on its edge; an idle one a quiet rule, dashed to say
    // "click here".
    QPen edge;
    if (listening_) {
        edge = QPen(blend(accent, text, dark ? 0.0 : 0.15), 2.0);
    } else {
        edge = QPen(blend(window, text, 0.35), 1.5, Qt::DashLine);
    }
    if (hasFocus() && !listening_) {
        edge.setStyle(Qt::SolidLine);
    }
    painter.setPen(edge);
    painter.drawRoundedRect(box, cornerRadius, cornerRadius);

    const QColor secondary = blend(base, text, 0.62);
    const QRect inner = rect().adjusted(24, 16, -24, -16);
    if (count_.isEmpty()) {
        QFont font = this->font();
        font.setPointSizeF(font.pointSizeF() * 1.35);
        painter.setFont(font);
        painter.setPen(listening_ ? text : secondary);
        painter.drawText(inner, Qt::AlignCenter | Qt::TextWordWrap, prompt_);
        return;
    }
    const QFont countFont = monospacedDigits(this->font().pointSizeF() * 3.4, QFont::Bold);
    QFont captionFont = this->font();
    captionFont.setPointSizeF(captionFont.pointSizeF() * 1.1);
    const QFontMetrics countMetrics(countFont);
    const QFontMetrics captionMetrics(captionFont);
    const int gap = 2;
    const int height = countMetrics.height() + gap + captionMetrics.height();
    const int top = inner.top() + (inner.height() - height) / 2;
    painter.setFont(countFont);
    painter.setPen(blend(text, accent, glow_ * 0.6));
    painter.drawText(QRect(inner.left(), top, inner.width(), countMetrics.height()),
                     Qt::AlignHCenter | Qt::AlignVCenter, count_);
    painter.setFont(captionFont);
    painter.setPen(secondary);
    painter.drawText(QRect(inner.left(), top + countMetrics.height() + gap, inner.width(),
                           captionMetrics.height()),
                     Qt::AlignHCenter | Qt::AlignVCenter, caption_);
}

}  // namespace tapwell::ui

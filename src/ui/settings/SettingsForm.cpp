#include "ui/settings/SettingsForm.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QVBoxLayout>

#include "ui/common/Look.h"

namespace tapwell::ui {

namespace {

const char* const errorRole = "tapwellError";
constexpr int groupRadius = 8;
constexpr int rowPaddingX = 14;
constexpr int rowPaddingY = 10;

// How far a switch's text starts from its left edge: notes under it line up with that text.
int switchTextOffset(const QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    const QStyle* style = box->style();
    return style->pixelMetric(QStyle::PM_IndicatorWidth, &option, box) +
           style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, box);
}

// A push button with room around its text: the style's own margin is tight, and glyphs from a
// fallback font (Chinese, Japanese) can reach the edge.
class RoomyButton final : public QPushButton {
  public:
    using QPushButton::QPushButton;
    QSize sizeHint() const override { return QPushButton::sizeHint() + QSize(16, 0); }
    QSize minimumSizeHint() const override { return sizeHint(); }
};

}  // namespace

QLabel* makeNote(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
}

QLabel* makeErrorNote(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    label->setProperty(errorRole, true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->hide();
    return label;
}

void tintErrors(QWidget* root) {
    const bool dark = isDark(root->palette());
    const QColor error = dark ? QColor(0xff, 0x8a, 0x80) : QColor(0xb3, 0x1b, 0x1b);
    for (QLabel* label : root->findChildren<QLabel*>()) {
        if (label->property(errorRole).toBool()) {
            QPalette colors = label->palette();
            colors.setColor(QPalette::WindowText, error);
            label->setPalette(colors);
        }
    }
}

QCheckBox* makeSwitch(QWidget* parent, const char* name) {
    auto* box = new QCheckBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QPushButton* makeButton(QWidget* parent, const char* name) {
    auto* button = new RoomyButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

void showNote(QLabel* note, const QString& text) {
    note->setText(text);
    note->setVisible(!text.isEmpty());
}

SettingsGroup::SettingsGroup(QWidget* parent) : QFrame(parent), rows_(new QVBoxLayout(this)) {
    rows_->setContentsMargins(0, 2, 0, 2);
    rows_->setSpacing(0);
}

void SettingsGroup::addRow(QWidget* row) {
    if (count_ > 0) {
        auto* rule = new QFrame(this);
        rule->setObjectName(QStringLiteral("rule"));
        rule->setFixedHeight(1);
        rule->setForegroundRole(QPalette::Midlight);
        rows_->addWidget(rule);
    }
    row->setParent(this);
    rows_->addWidget(row);
    ++count_;
}

void SettingsGroup::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor window = palette().color(QPalette::Window);
    const QColor text = palette().color(QPalette::WindowText);
    const QColor base = palette().color(QPalette::Base);
    painter.setPen(QPen(blend(window, text, 0.14), 1.0));
    // A raised surface: lighter than the window in both schemes, so the boxes of switches and
    // fields (drawn in the base colour) stand out from it in dark palettes too.
    painter.setBrush(isDark(palette()) ? blend(window, text, 0.06) : blend(window, base, 0.7));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), groupRadius,
                            groupRadius);
    // The rules between rows, inset from the rounded edge.
    painter.setPen(QPen(blend(window, text, 0.10), 1.0));
    for (QFrame* rule : findChildren<QFrame*>(QStringLiteral("rule"), Qt::FindDirectChildrenOnly)) {
        const qreal y = rule->geometry().center().y() + 0.5;
        painter.drawLine(QPointF(rowPaddingX, y), QPointF(width() - rowPaddingX, y));
    }
}

SettingsRow::SettingsRow(QWidget* lead, QWidget* parent)
    : QWidget(parent), line_(new QHBoxLayout), below_(new QVBoxLayout) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(rowPaddingX, rowPaddingY, rowPaddingX, rowPaddingY);
    layout->setSpacing(4);
    line_->setSpacing(8);
    lead->setParent(this);
    line_->addWidget(lead, 1);
    layout->addLayout(line_);
    int indent = 0;
    if (auto* box = qobject_cast<QCheckBox*>(lead)) {
        indent = switchTextOffset(box);
    }
    below_->setContentsMargins(indent, 0, 0, 0);
    below_->setSpacing(4);
    layout->addLayout(below_);
}

void SettingsRow::addTrailing(QWidget* control) {
    control->setParent(this);
    line_->addWidget(control, 0, Qt::AlignVCenter);
}

void SettingsRow::addNote(QWidget* note) {
    note->setParent(this);
    below_->addWidget(note);
}

void SettingsRow::addBody(QWidget* body) {
    body->setParent(this);
    below_->addWidget(body);
}

SettingsPageView::SettingsPageView(QWidget* parent)
    : QWidget(parent), title_(new QLabel(this)), layout_(new QVBoxLayout(this)) {
    title_->setObjectName(QStringLiteral("pageTitle"));
    QFont font = title_->font();
    font.setPointSizeF(font.pointSizeF() * 1.45);
    font.setBold(true);
    title_->setFont(font);
    title_->setAccessibleName(QString());
    layout_->setContentsMargins(24, 18, 24, 24);
    layout_->setSpacing(6);
    layout_->addWidget(title_);
    layout_->addSpacing(6);
}

SettingsGroup* SettingsPageView::addSection(QLabel*& caption, const char* name) {
    caption = new QLabel(this);
    caption->setObjectName(QString::fromLatin1(name));
    QFont font = caption->font();
    font.setBold(true);
    caption->setFont(font);
    caption->setContentsMargins(2, 10, 0, 2);
    layout_->addWidget(caption);
    auto* group = new SettingsGroup(this);
    layout_->addWidget(group);
    return group;
}

SettingsGroup* SettingsPageView::addGroup() {
    layout_->addSpacing(14);
    auto* group = new SettingsGroup(this);
    layout_->addWidget(group);
    return group;
}

void SettingsPageView::addWidget(QWidget* widget) {
    widget->setParent(this);
    layout_->addWidget(widget);
}

void SettingsPageView::finish() {
    layout_->addStretch(1);
}

}  // namespace tapwell::ui

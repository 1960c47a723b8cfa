#include "ui/popover/AccessPrompt.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/AppModel.h"
#include "ui/common/Look.h"

namespace tapwell::ui {

AccessPrompt::AccessPrompt(AppModel& model, QWidget* parent)
    : QFrame(parent),
      model_(model),
      icon_(new QLabel(this)),
      title_(new QLabel(this)),
      body_(new QLabel(this)),
      command_(new QLabel(QString::fromLatin1(grantCommand), this)),
      copy_(new QPushButton(this)),
      help_(new QPushButton(this)) {
    setObjectName(QStringLiteral("accessPrompt"));
    const int iconSize = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    icon_->setPixmap(style()
                         ->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this)
                         .pixmap(QSize(iconSize, iconSize), devicePixelRatioF()));
    icon_->setAlignment(Qt::AlignTop);
    title_->setObjectName(QStringLiteral("accessTitle"));
    QFont titleFont = title_->font();
    titleFont.setBold(true);
    title_->setFont(titleFont);
    title_->setWordWrap(true);
    body_->setObjectName(QStringLiteral("accessBody"));
    body_->setWordWrap(true);
    command_->setObjectName(QStringLiteral("accessCommand"));
    command_->setFont(monospacedDigits(font().pointSizeF(), QFont::Normal));
    command_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    command_->setForegroundRole(QPalette::Text);
    command_->setBackgroundRole(QPalette::Base);
    command_->setAutoFillBackground(true);
    command_->setContentsMargins(6, 3, 6, 3);
    copy_->setObjectName(QStringLiteral("copyCommand"));
    help_->setObjectName(QStringLiteral("accessHelp"));

    auto* text = new QVBoxLayout;
    text->setSpacing(6);
    text->addWidget(title_);
    text->addWidget(body_);
    text->addWidget(command_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copy_);
    buttons->addWidget(help_);
    buttons->addStretch();
    text->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(8);
    layout->addWidget(icon_, 0, Qt::AlignTop);
    layout->addLayout(text, 1);

    connect(copy_, &QPushButton::clicked, this, [this] {
        QApplication::clipboard()->setText(QString::fromLatin1(grantCommand));
        copy_->setText(model_.text("popover.access.copied"));
        copy_->setAccessibleName(copy_->text());
    });
    connect(help_, &QPushButton::clicked, this, [this] {
        model_.openInputSettings();
        Q_EMIT helpOpened();
    });
    retranslate();
}

void AccessPrompt::retranslate() {
    title_->setText(model_.text("popover.access.title"));
    body_->setText(model_.text("popover.access.body"));
    command_->setAccessibleName(QString::fromLatin1(grantCommand));
    copy_->setText(model_.text("popover.access.copy"));
    copy_->setAccessibleName(copy_->text());
    help_->setText(model_.text("popover.access.help"));
    help_->setAccessibleName(help_->text());
}

QList<QWidget*> AccessPrompt::focusChain() const {
    return {copy_, help_};
}

void AccessPrompt::focusFirst() {
    copy_->setFocus(Qt::TabFocusReason);
}

void AccessPrompt::hideEvent(QHideEvent* event) {
    copy_->setText(model_.text("popover.access.copy"));
    copy_->setAccessibleName(copy_->text());
    QFrame::hideEvent(event);
}

void AccessPrompt::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& colors = palette();
    // A light wash of the desktop's highlight colour sets the notice apart in light and dark.
    painter.setBrush(blend(colors.color(QPalette::Window), colors.color(QPalette::Highlight),
                           isDark(colors) ? 0.22 : 0.12));
    painter.setPen(
        QPen(blend(colors.color(QPalette::Window), colors.color(QPalette::Highlight), 0.45), 1.0));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
}

}  // namespace tapwell::ui

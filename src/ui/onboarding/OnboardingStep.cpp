#include "ui/onboarding/OnboardingStep.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/common/Look.h"

namespace tapwell::ui {

void setButtonText(QPushButton& button, const QString& text, int minimumWidth) {
    constexpr int padding = 14;
    button.setText(text);
    button.setAccessibleName(text);
    button.setMinimumWidth(
        std::max(minimumWidth, button.fontMetrics().horizontalAdvance(text) + 2 * padding));
}

void showAsCode(QLabel& label) {
    label.setFont(monospacedDigits(label.font().pointSizeF(), QFont::Normal));
    label.setTextInteractionFlags(Qt::TextSelectableByMouse);
    label.setForegroundRole(QPalette::Text);
    label.setBackgroundRole(QPalette::Base);
    label.setAutoFillBackground(true);
    label.setContentsMargins(9, 6, 9, 6);
}

OnboardingStep::OnboardingStep(AppModel& model, const char* name, QWidget* parent)
    : QWidget(parent), model_(model) {
    setObjectName(QString::fromLatin1(name));
    title_ = makeLabel("stepTitle");
    QFont titleFont = title_->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setWeight(QFont::Bold);
    title_->setFont(titleFont);
    title_->setAccessibleName(QString());
    lead_ = makeLabel("stepLead");
    addSecondary(lead_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(title_);
    layout->addSpacing(6);
    layout->addWidget(lead_);
    layout->addSpacing(18);
    content_ = new QVBoxLayout;
    content_->setSpacing(10);
    layout->addLayout(content_, 1);
}

void OnboardingStep::setTexts(const char* titleKey, const char* leadKey) {
    title_->setText(model_.text(titleKey));
    lead_->setText(model_.text(leadKey));
}

void OnboardingStep::addSecondary(QLabel* label) {
    secondary_.append(label);
    applySecondaryColor();
}

QLabel* OnboardingStep::makeLabel(const char* name) {
    auto* label = new QLabel(this);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

void OnboardingStep::applySecondaryColor() {
    const QColor secondary =
        blend(palette().color(QPalette::Window), palette().color(QPalette::WindowText), 0.7);
    for (QLabel* label : secondary_) {
        QPalette colors = label->palette();
        colors.setColor(QPalette::WindowText, secondary);
        label->setPalette(colors);
    }
}

void OnboardingStep::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) {
        applySecondaryColor();
    }
    QWidget::changeEvent(event);
}

}  // namespace tapwell::ui

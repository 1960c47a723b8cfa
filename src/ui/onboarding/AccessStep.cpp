#include "ui/onboarding/AccessStep.h"

#include <QApplication>
#include <QClipboard>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/common/Look.h"
#include "ui/onboarding/StatusMark.h"
#include "ui/popover/AccessPrompt.h"

namespace tapwell::ui {

AccessStep::AccessStep(AppModel& model, QWidget* parent)
    : OnboardingStep(model, "accessStep", parent),
      mark_(new StatusMark(this)),
      status_(makeLabel("accessStatus")),
      readyBody_(makeLabel("accessReady")),
      instructions_(new QFrame(this)),
      command_(new QLabel(QString::fromLatin1(AccessPrompt::grantCommand), instructions_)),
      copy_(new QPushButton(instructions_)) {
    QFont statusFont = status_->font();
    statusFont.setPointSizeF(statusFont.pointSizeF() * 1.15);
    statusFont.setBold(true);
    status_->setFont(statusFont);
    addSecondary(readyBody_);

    instructions_->setObjectName(QStringLiteral("accessInstructions"));
    const auto instructionLabel = [this](const char* name) {
        auto* label = new QLabel(instructions_);
        label->setObjectName(QString::fromLatin1(name));
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        return label;
    };
    why_ = instructionLabel("accessWhy");
    joinStep_ = instructionLabel("accessJoin");
    loginStep_ = instructionLabel("accessLogin");
    recheck_ = instructionLabel("recheck");
    addSecondary(why_);
    addSecondary(recheck_);
    command_->setObjectName(QStringLiteral("accessCommand"));
    showAsCode(*command_);
    command_->setAccessibleName(QString::fromLatin1(AccessPrompt::grantCommand));
    copy_->setObjectName(QStringLiteral("copyCommand"));
    copy_->setAutoDefault(false);

    auto* statusRow = new QHBoxLayout;
    statusRow->setSpacing(10);
    statusRow->addWidget(mark_, 0, Qt::AlignTop);
    statusRow->addWidget(status_, 1);
    content()->addLayout(statusRow);
    // Everything under the status line starts where its text does, past the mark.
    constexpr int indent = 22 + 10;
    auto* ready = new QVBoxLayout;
    ready->setContentsMargins(indent, 0, 0, 0);
    ready->addWidget(readyBody_);
    content()->addLayout(ready);

    auto* commandRow = new QHBoxLayout;
    commandRow->setSpacing(8);
    commandRow->addWidget(command_, 1);
    commandRow->addWidget(copy_);
    auto* steps = new QVBoxLayout(instructions_);
    steps->setContentsMargins(indent, 0, 0, 0);
    steps->setSpacing(8);
    steps->addWidget(why_);
    steps->addSpacing(4);
    steps->addWidget(joinStep_);
    steps->addLayout(commandRow);
    steps->addSpacing(4);
    steps->addWidget(loginStep_);
    steps->addSpacing(8);
    steps->addWidget(recheck_);
    content()->addWidget(instructions_);
    content()->addStretch(1);

    connect(copy_, &QPushButton::clicked, this, [this] {
        QApplication::clipboard()->setText(QString::fromLatin1(AccessPrompt::grantCommand));
        setButtonText(*copy_, model_.text("onboarding.access.copied"), copy_->minimumWidth());
    });
    connect(&model_, &AppModel::inputAvailableChanged, this, &AccessStep::showAccess);
}

void AccessStep::retranslate() {
    setTexts("onboarding.access.title", "onboarding.access.lead");
    readyBody_->setText(model_.text("onboarding.access.readyBody"));
    why_->setText(model_.text("onboarding.access.why"));
    joinStep_->setText(model_.text("onboarding.access.join"));
    loginStep_->setText(model_.text("onboarding.access.login"));
    recheck_->setText(model_.text("onboarding.access.recheck"));
    showCopy();
    showAccess();
}

void AccessStep::showAccess() {
    const bool available = model_.state().inputAvailable();
    mark_->setGood(available);
    status_->setText(
        model_.text(available ? "onboarding.access.ready" : "onboarding.access.missing"));
    mark_->setAccessibleName(status_->text());
    readyBody_->setVisible(available);
    instructions_->setVisible(!available);
}

QList<QWidget*> AccessStep::focusChain() const {
    if (instructions_->isVisibleTo(this)) {
        return {copy_};
    }
    return {};
}

void AccessStep::showCopy() {
    // As wide as the wider of its two texts, so that "Copied" does not move the row.
    const QString copy = model_.text("onboarding.access.copy");
    const QString copied = model_.text("onboarding.access.copied");
    setButtonText(*copy_, copied);
    const int width = copy_->minimumWidth();
    setButtonText(*copy_, copy, width);
}

void AccessStep::hideEvent(QHideEvent* event) {
    showCopy();
    OnboardingStep::hideEvent(event);
}

}  // namespace tapwell::ui

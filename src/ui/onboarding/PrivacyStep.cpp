#include "ui/onboarding/PrivacyStep.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <string>

#include "ui/common/Look.h"
#include "ui/onboarding/StatusMark.h"

namespace tapwell::ui {

PrivacyStep::PrivacyStep(AppModel& model, QWidget* parent)
    : OnboardingStep(model, "privacyStep", parent),
      keptCaption_(makeLabel("keptCaption")),
      neverCaption_(makeLabel("neverCaption")),
      sampleCaption_(makeLabel("sampleCaption")),
      sample_(makeLabel("sample")),
      where_(makeLabel("privacyWhere")) {
    for (QLabel* caption : {keptCaption_, neverCaption_}) {
        QFont font = caption->font();
        font.setBold(true);
        caption->setFont(font);
    }
    // Two columns, each a caption over three marked lines.
    auto* lists = new QGridLayout;
    lists->setHorizontalSpacing(28);
    lists->setVerticalSpacing(8);
    const auto addColumn = [this, lists](int column, QLabel* caption, std::array<QLabel*, 3>& rows,
                                         const char* name, StatusMark::Kind kind) {
        auto* list = new QVBoxLayout;
        list->setSpacing(8);
        list->addWidget(caption);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const std::string objectName = std::string(name) + std::to_string(i + 1);
            rows[i] = makeLabel(objectName.c_str());
            auto* row = new QHBoxLayout;
            row->setSpacing(8);
            row->addWidget(new StatusMark(this, kind, 16), 0, Qt::AlignTop);
            row->addWidget(rows[i], 1);
            list->addLayout(row);
        }
        list->addStretch(1);
        lists->addLayout(list, 0, column);
        lists->setColumnStretch(column, 1);
    };
    addColumn(0, keptCaption_, kept_, "kept", StatusMark::Kind::tick);
    addColumn(1, neverCaption_, never_, "never", StatusMark::Kind::cross);
    content()->addLayout(lists);
    content()->addSpacing(10);

    showAsCode(*sample_);
    addSecondary(sampleCaption_);
    addSecondary(where_);
    content()->addWidget(sampleCaption_);
    content()->addWidget(sample_);
    content()->addSpacing(4);
    content()->addWidget(where_);
    content()->addStretch(1);

    connect(&model_, &AppModel::snapshotChanged, this, &PrivacyStep::showSample);
}

void PrivacyStep::retranslate() {
    setTexts("onboarding.privacy.title", "onboarding.privacy.lead");
    keptCaption_->setText(model_.text("onboarding.privacy.kept"));
    neverCaption_->setText(model_.text("onboarding.privacy.never"));
    static constexpr const char* keptKeys[] = {
        "onboarding.privacy.kept1", "onboarding.privacy.kept2", "onboarding.privacy.kept3"};
    static constexpr const char* neverKeys[] = {
        "onboarding.privacy.never1", "onboarding.privacy.never2", "onboarding.privacy.never3"};
    for (std::size_t i = 0; i < kept_.size(); ++i) {
        kept_[i]->setText(model_.text(keptKeys[i]));
        never_[i]->setText(model_.text(neverKeys[i]));
    }
    sampleCaption_->setText(model_.text("onboarding.privacy.sample"));
    where_->setText(model_.text("onboarding.privacy.where"));
    showSample();
}

void PrivacyStep::showSample() {
    sample_->setText(qstr(model_.state().onboardingSample()));
    sample_->setAccessibleName(sampleCaption_->text() + QLatin1Char(' ') + sample_->text());
}

}  // namespace tapwell::ui

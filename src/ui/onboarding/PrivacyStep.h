#pragma once
// The privacy step: what Tapwell keeps and what it never records, and one stored day exactly as
// it lies on disk. Main thread only.

#include <array>

#include "ui/onboarding/OnboardingStep.h"

namespace tapwell::ui {

class PrivacyStep final : public OnboardingStep {
    Q_OBJECT

  public:
    explicit PrivacyStep(AppModel& model, QWidget* parent = nullptr);

    void retranslate() override;
    QList<QWidget*> focusChain() const override { return {}; }

  private:
    void showSample();

    QLabel* keptCaption_ = nullptr;
    QLabel* neverCaption_ = nullptr;
    std::array<QLabel*, 3> kept_{};
    std::array<QLabel*, 3> never_{};
    QLabel* sampleCaption_ = nullptr;
    QLabel* sample_ = nullptr;
    QLabel* where_ = nullptr;
};

}  // namespace tapwell::ui

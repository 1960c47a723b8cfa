#pragma once
// The first onboarding step: the try-out pad, where every key typed plays at once from the sound
// theme without being counted, and the themes to switch between while trying. Main thread only.

#include <cstdint>

#include "ui/onboarding/OnboardingStep.h"

namespace tapwell::ui {

class ThemePicker;
class TryOutPad;

class TryOutStep final : public OnboardingStep {
    Q_OBJECT

  public:
    explicit TryOutStep(AppModel& model, QWidget* parent = nullptr);

    void retranslate() override;
    QList<QWidget*> focusChain() const override;
    QWidget* firstFocus() const override;

    TryOutPad& pad() const { return *pad_; }

  protected:
    bool event(QEvent* event) override;

  private:
    void showPresses();
    void showThemes();
    void showNote();

    TryOutPad* pad_ = nullptr;
    QLabel* themeCaption_ = nullptr;
    ThemePicker* themes_ = nullptr;
    QLabel* note_ = nullptr;
    std::int64_t shownPresses_ = 0;
};

}  // namespace tapwell::ui

#pragma once
// The keyboard access step: whether Tapwell hears the keyboard now and, while it does not, how to
// join the group that may read keyboards (with a button that copies the command), the note to log
// in again, and the standing re-check that turns the step green by itself once access works.
// Main thread only.

#include "ui/onboarding/OnboardingStep.h"

class QFrame;
class QPushButton;

namespace tapwell::ui {

class StatusMark;

class AccessStep final : public OnboardingStep {
    Q_OBJECT

  public:
    explicit AccessStep(AppModel& model, QWidget* parent = nullptr);

    void retranslate() override;
    QList<QWidget*> focusChain() const override;

  protected:
    // "Copied" lasts while the step shows.
    void hideEvent(QHideEvent* event) override;

  private:
    void showAccess();
    void showCopy();

    StatusMark* mark_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* readyBody_ = nullptr;
    QFrame* instructions_ = nullptr;
    QLabel* why_ = nullptr;
    QLabel* joinStep_ = nullptr;
    QLabel* command_ = nullptr;
    QPushButton* copy_ = nullptr;
    QLabel* loginStep_ = nullptr;
    QLabel* recheck_ = nullptr;
};

}  // namespace tapwell::ui

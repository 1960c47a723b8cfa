#pragma once
// The last onboarding step: where Tapwell lives from now on (the tray icon), how to reach its
// settings, and the shortcut that switches sounds on and off (or that another program holds it).
// The window's footer carries the button that closes the onboarding. Main thread only.

#include <array>

#include "ui/onboarding/OnboardingStep.h"

namespace tapwell::ui {

class FinishStep final : public OnboardingStep {
    Q_OBJECT

  public:
    explicit FinishStep(AppModel& model, QWidget* parent = nullptr);

    void retranslate() override;
    QList<QWidget*> focusChain() const override { return {}; }

    // The shortcut that toggles the sounds, as the desktop writes it ("Ctrl+Alt+K").
    static QString shortcutText();

  private:
    void showShortcut();

    struct Tip {
        QLabel* heading = nullptr;
        QLabel* body = nullptr;
    };
    std::array<Tip, 3> tips_{};
};

}  // namespace tapwell::ui

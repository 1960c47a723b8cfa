// The onboarding window at each of its steps: the try-out pad after a few presses, keyboard
// access granted and still missing, privacy with the sample day, and the finish.

#include <QApplication>

#include <string>

#include "Screens.h"
#include "ui/onboarding/OnboardingWindow.h"

namespace tapwell::screenshots {

namespace {

QImage renderStep(AppModel& model, test::RecordingState& state, int step) {
    const int savedStep = state.onboardingStepValue;
    const auto savedPresses = state.onboardingPressesValue;
    state.onboardingStepValue = step;
    state.onboardingPressesValue = step == 0 ? 27 : 0;
    ui::OnboardingWindow window(model);
    window.show();
    // The pad as it looks while it takes typing: its window has the focus.
    window.activateWindow();
    QApplication::processEvents();
    const QImage image = grabWindow(window);
    state.onboardingStepValue = savedStep;
    state.onboardingPressesValue = savedPresses;
    return image;
}

}  // namespace

std::vector<Screen> onboardingScreens() {
    std::vector<Screen> screens;
    const char* names[ui::OnboardingWindow::stepCount] = {"tryout", "access", "privacy", "finish"};
    for (int step = 0; step < ui::OnboardingWindow::stepCount; ++step) {
        screens.push_back({std::string("onboarding-") + names[step],
                           [step](AppModel& model, test::RecordingState& state) {
                               return renderStep(model, state, step);
                           }});
    }
    screens.push_back(
        {"onboarding-access-missing", [](AppModel& model, test::RecordingState& state) {
             state.inputAvailableValue = false;
             const QImage image = renderStep(model, state, 1);
             state.inputAvailableValue = true;
             return image;
         }});
    return screens;
}

}  // namespace tapwell::screenshots

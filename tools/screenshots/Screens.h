#pragma once
// The screens the screenshot tool renders. Each view adds its screens in a file of its own
// (<View>Screens.cpp) and one line in main.cpp.

#include <QImage>

#include <functional>
#include <string>
#include <vector>

#include "app/AppModel.h"
#include "support/RecordingState.h"

namespace tapwell::screenshots {

struct Screen {
    // The file name's first part: "popover", "settings-general", "onboarding-0", ...
    std::string name;
    // Draws the screen for the state as it is (language, palette and sample values already set).
    std::function<QImage(AppModel& model, test::RecordingState& state)> render;
};

// Renders a top-level widget as the desktop would show it (shown off screen, laid out, then
// grabbed), at its size hint unless it was sized already.
QImage grabWindow(class QWidget& window);

// The screens of each view, in PopoverScreens.cpp and its siblings.
std::vector<Screen> popoverScreens();
std::vector<Screen> trayScreens();
std::vector<Screen> recapScreens();
std::vector<Screen> overlayScreens();
std::vector<Screen> onboardingScreens();
std::vector<Screen> settingsScreens();

}  // namespace tapwell::screenshots

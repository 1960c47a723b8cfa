// The recap window with today's card.

#include "Screens.h"
#include "ui/recap/RecapView.h"

namespace tapwell::screenshots {

std::vector<Screen> recapScreens() {
    return {{"recap", [](AppModel& model, test::RecordingState&) {
                 ui::RecapView view(model);
                 return grabWindow(view);
             }}};
}

}  // namespace tapwell::screenshots

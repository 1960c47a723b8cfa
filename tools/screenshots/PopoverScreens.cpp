// The popover as the tray opens it: the sample day, the day without keyboard access, and a mute
// that is counting down.

#include "Screens.h"
#include "ui/popover/PopoverWindow.h"

namespace tapwell::screenshots {

namespace {

QImage renderPopover(AppModel& model) {
    ui::PopoverWindow window(model);
    return grabWindow(window);
}

}  // namespace

std::vector<Screen> popoverScreens() {
    return {
        {"popover", [](AppModel& model, test::RecordingState&) { return renderPopover(model); }},
        {"popover-noaccess",
         [](AppModel& model, test::RecordingState& state) {
             // Nothing is counted without the keyboard.
             const auto snapshot = state.snapshotValue;
             state.inputAvailableValue = false;
             state.snapshotValue = {};
             const QImage image = renderPopover(model);
             state.inputAvailableValue = true;
             state.snapshotValue = snapshot;
             return image;
         }},
        {"popover-muted",
         [](AppModel& model, test::RecordingState& state) {
             const auto sound = state.soundValue;
             state.soundValue.mutedUntil = state.nowValue + (59 * 60 + 12);
             const QImage image = renderPopover(model);
             state.soundValue = sound;
             return image;
         }},
    };
}

}  // namespace tapwell::screenshots

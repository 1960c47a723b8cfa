#pragma once
// What the application state needs from the desktop's user interface: its windows, the save and
// application choosers, the clipboard, the recap image and the file manager. The Qt shell of the
// views implements it; without a display the headless shell stands in. Main thread only.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "recap/RecapContent.h"

namespace tapwell {

class AppShell {
  public:
    enum class Window { settings, onboarding, recap };

    struct SaveRequest {
        std::string title;         // the dialog's title
        std::string proposedName;  // the file name offered, e.g. "Tapwell-stats.json"
        std::string filterName;    // e.g. "JSON"
        std::string suffix;        // without the dot, e.g. "json"
    };

    virtual ~AppShell() = default;

    // Whether windows can be shown at all.
    virtual bool hasWindows() const = 0;
    // Creates the window on first use (it is kept and reused), brings it to the front and gives
    // it the focus.
    virtual void showWindow(Window window) = 0;
    // A modal save dialog; none when cancelled.
    virtual std::optional<std::filesystem::path> askSavePath(const SaveRequest& request) = 0;
    // A modal chooser of installed applications; the ids chosen, empty when cancelled.
    virtual std::vector<std::string> askApplications() = 0;
    // The recap card as PNG bytes (1080 x 1440, light colours); none when it cannot be drawn.
    virtual std::optional<std::string> renderRecapPng(const RecapContent& content) = 0;
    // Puts an image on the clipboard; false when the clipboard refused it.
    virtual bool copyPng(const std::string& png) = 0;
    // Opens a folder in the desktop's file manager.
    virtual void openFolder(const std::filesystem::path& folder) = 0;
    // Ends the event loop; the application then shuts down.
    virtual void quit() = 0;
};

}  // namespace tapwell

#pragma once
// What the application state follows of the desktop session besides windows: the application in
// front, sleep and wake, the login item and the installed applications. Each is a small interface
// with a Linux adapter (platform/linux/desktop) and a fake in the tests; a missing one means the
// desktop does not offer it. OS-free and Qt-free.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Error.h"
#include "core/MainQueue.h"
#include "presentation/Notifier.h"

namespace tapwell {

// An installed desktop application, for the muted-applications chooser.
struct InstalledApp {
    std::string id;    // desktop-entry id, as stored in the muted list
    std::string name;  // localized Name
    std::string icon;  // Icon of the entry: a theme icon name or an absolute path; may be empty

    bool operator==(const InstalledApp&) const = default;
};

// The application whose window has the focus, by its application id (the desktop-entry id, else
// the window's class).
class FocusSource {
  public:
    virtual ~FocusSource() = default;
    // Called on any thread with the id of the application now in front; none when no window has
    // the focus or it cannot be told. Set before `start`.
    std::function<void(std::optional<std::string>)> onChange;
    // Reports the current application soon after.
    virtual void start() = 0;
    // Waits: no report arrives after it returns.
    virtual void stop() = 0;
};

// System sleep and wake. Both callbacks run on the main thread.
class SleepSource {
  public:
    virtual ~SleepSource() = default;
    // The machine is about to sleep; it waits until the callback has returned.
    std::function<void()> onWillSleep;
    std::function<void()> onDidWake;
    virtual void start() = 0;
    virtual void stop() = 0;
};

// Starting the application when the user logs in.
class LoginItem {
  public:
    struct Status {
        bool enabled = false;
        bool needsApproval = false;
    };
    virtual ~LoginItem() = default;
    virtual Status status() const = 0;
    // No value on success.
    virtual std::optional<Error> setEnabled(bool enabled) = 0;
};

// The applications installed for the user, for the muted-applications chooser.
class ApplicationDirectory {
  public:
    virtual ~ApplicationDirectory() = default;
    // Sorted by name; names in `language` where the entry has them.
    virtual std::vector<InstalledApp> list(std::string_view language) = 0;
};

// The desktop session's services, built by the system's adapter (on Linux,
// platform/linux/desktop/LinuxDesktopSession.cpp) once the application object exists. Each is
// none where the session lacks it.
struct DesktopSession {
    std::unique_ptr<Notifier> notifier;
    std::unique_ptr<FocusSource> focus;
    std::unique_ptr<SleepSource> sleep;
    std::unique_ptr<LoginItem> loginItem;
    std::shared_ptr<ApplicationDirectory> applications;
};
// Callbacks of the notifier and the sleep source run on the main thread through `mainQueue`,
// which outlives the session.
DesktopSession makeDesktopSession(bool hasDisplay, MainQueue& mainQueue);

}  // namespace tapwell

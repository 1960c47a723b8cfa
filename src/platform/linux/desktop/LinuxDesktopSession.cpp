// The desktop session's services on Linux: notifications on the session bus, sleep from logind on
// the system bus, the XDG login item, the installed applications' desktop entries, and, on an X11
// display, the application in front.

#include "platform/DesktopServices.h"
#include "platform/linux/desktop/DesktopEntries.h"
#include "platform/linux/desktop/FreedesktopNotifier.h"
#include "platform/linux/desktop/LogindSleepSource.h"
#include "platform/linux/desktop/X11FocusSource.h"
#include "platform/linux/desktop/XdgAutostart.h"

namespace tapwell {

DesktopSession makeDesktopSession(bool hasDisplay, MainQueue& mainQueue) {
    DesktopSession session;
    session.notifier = std::make_unique<FreedesktopNotifier>(mainQueue, "com.tapwell.Tapwell");
    session.sleep = std::make_unique<LogindSleepSource>(mainQueue);
    session.loginItem = std::make_unique<XdgAutostart>(XdgAutostart::forCurrentUser());
    auto entries = std::make_shared<DesktopEntries>(DesktopEntries::defaultFolders());
    if (hasDisplay) {
        session.focus = std::make_unique<X11FocusSource>(entries);
    }
    session.applications = std::move(entries);
    return session;
}

}  // namespace tapwell

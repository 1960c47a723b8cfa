#include "platform/linux/LinuxSystemEvents.h"

#include "platform/linux/InotifyFolderEvents.h"
#include "platform/linux/SysfsPowerSource.h"
#include "platform/linux/XdgDownloadsFolder.h"

namespace tapwell {

SystemEventsMonitor::Platform makeLinuxSystemEventsPlatform() {
    SystemEventsMonitor::Platform platform;
    platform.power = std::make_unique<SysfsPowerSource>();
    platform.folderEvents = [] { return std::make_unique<InotifyFolderEvents>(); };
    platform.downloadsFolder = [] { return xdgDownloadsFolder(); };
    return platform;
}

}  // namespace tapwell

#include "platform/linux/system/LinuxSystemEventsPlatform.h"

#include "platform/linux/system/InotifyFolderEvents.h"
#include "platform/linux/system/SysfsPowerSource.h"
#include "platform/linux/system/XdgDownloadsFolder.h"

namespace tapwell {

SystemEventsMonitor::Platform makeLinuxSystemEventsPlatform() {
    SystemEventsMonitor::Platform platform;
    platform.power = std::make_unique<SysfsPowerSource>();
    platform.folderEvents = [] { return std::make_unique<InotifyFolderEvents>(); };
    platform.downloadsFolder = [] { return xdgDownloadsFolder(); };
    return platform;
}

}  // namespace tapwell

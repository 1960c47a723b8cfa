#pragma once
// The Linux pieces of the system events monitor: power from sysfs with udev notifications,
// folder events from inotify, the XDG Downloads folder.

#include "system/SystemEventsMonitor.h"

namespace tapwell {

SystemEventsMonitor::Platform makeLinuxSystemEventsPlatform();

}  // namespace tapwell

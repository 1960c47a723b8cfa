#pragma once
// Power-supply change notifications from a libudev monitor on the "power_supply" subsystem
// (plugging or unplugging a charger, battery level steps). Each batch of events gives one call of
// the handler, on the monitor's own thread.

#include <functional>

#include "platform/linux/core/FdWatchThread.h"

struct udev;
struct udev_monitor;

namespace tapwell {

class UdevPowerMonitor {
  public:
    UdevPowerMonitor() = default;
    ~UdevPowerMonitor();
    UdevPowerMonitor(const UdevPowerMonitor&) = delete;
    UdevPowerMonitor& operator=(const UdevPowerMonitor&) = delete;

    // Returns false (and calls nothing) when the monitor cannot be set up, for example without
    // netlink access in a sandbox.
    bool start(std::function<void()> onChange);
    // Once it returns, `onChange` is not running and never called again. Idempotent.
    void stop();

  private:
    void drain();

    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    std::function<void()> onChange_;
    FdWatchThread watch_;
};

}  // namespace tapwell

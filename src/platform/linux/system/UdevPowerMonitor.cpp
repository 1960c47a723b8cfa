#include "platform/linux/system/UdevPowerMonitor.h"

#include <libudev.h>

#include "core/Log.h"

namespace tapwell {

UdevPowerMonitor::~UdevPowerMonitor() {
    stop();
}

bool UdevPowerMonitor::start(std::function<void()> onChange) {
    stop();
    udev_ = udev_new();
    if (udev_ == nullptr) {
        return false;
    }
    // The "udev" source reports a device after its rules have run, so its attributes are final.
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor_, "power_supply", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
        logger(LogCategory::systemEvents).warn("Power notifications unavailable");
        stop();
        return false;
    }
    onChange_ = std::move(onChange);
    if (watch_.start(udev_monitor_get_fd(monitor_), "com.tapwell.power", [this] { drain(); })) {
        stop();
        return false;
    }
    return true;
}

void UdevPowerMonitor::drain() {
    bool any = false;
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        udev_device_unref(device);
        any = true;
    }
    if (any && onChange_) {
        onChange_();
    }
}

void UdevPowerMonitor::stop() {
    watch_.stop();
    if (monitor_ != nullptr) {
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
    }
    if (udev_ != nullptr) {
        udev_unref(udev_);
        udev_ = nullptr;
    }
    onChange_ = nullptr;
}

}  // namespace tapwell

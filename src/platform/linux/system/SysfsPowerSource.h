#pragma once
// The power state from the kernel's power-supply class (normally /sys/class/power_supply): a
// "Mains" or "USB" supply that is online means external power; the first "Battery" (by name) whose
// scope is absent or "System" is the internal battery, its charge taken from energy_now and
// energy_full (µWh) or, without those, charge_now and charge_full (µAh). Peripheral batteries
// (scope "Device": mice, headsets) are ignored. Change notifications come from udev.
//
// Where no Mains or USB supply is listed at all, the internal battery's status decides (anything
// but "Discharging" means external power), and a machine with neither, typically a desktop, runs
// on external power. A root folder that cannot be listed gives no reading.

#include <filesystem>

#include "platform/linux/system/UdevPowerMonitor.h"
#include "system/PowerSource.h"

namespace tapwell {

class SysfsPowerSource final : public PowerSource {
  public:
    static constexpr const char* defaultRoot = "/sys/class/power_supply";

    explicit SysfsPowerSource(std::filesystem::path root = defaultRoot);

    std::optional<PowerSample> read() override;
    bool startNotifications(std::function<void()> onChange) override;
    void stopNotifications() override;

  private:
    std::filesystem::path root_;
    UdevPowerMonitor monitor_;
};

}  // namespace tapwell

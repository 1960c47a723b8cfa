#pragma once
// The ioctl side of an evdev device, kept apart from the stream parser: is it a keyboard, switch
// its time stamps to CLOCK_MONOTONIC, read its caps lock LED. `LibevdevProbe` asks the kernel
// through libevdev; tests substitute a fake so that FIFOs can stand in for devices.

#include <expected>
#include <optional>

#include "core/Error.h"

namespace tapwell {

class EvdevDeviceProbe {
  public:
    struct DeviceInfo {
        bool isKeyboard = false;       // reports EV_KEY with the letter keys
        bool monotonicClock = false;   // time stamps are now on CLOCK_MONOTONIC
        std::optional<bool> capsLock;  // the caps lock LED, when the device has one
    };

    virtual ~EvdevDeviceProbe() = default;

    // Inspects an open device. A descriptor that is not an input device (ENOTTY) gives an error.
    virtual std::expected<DeviceInfo, Error> inspect(int fd) = 0;
    // The caps lock LED now; none when the device has no such LED or cannot be asked.
    virtual std::optional<bool> capsLock(int fd) = 0;
};

class LibevdevProbe final : public EvdevDeviceProbe {
  public:
    std::expected<DeviceInfo, Error> inspect(int fd) override;
    std::optional<bool> capsLock(int fd) override;
};

}  // namespace tapwell

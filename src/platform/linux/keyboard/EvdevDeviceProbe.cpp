#include "platform/linux/keyboard/EvdevDeviceProbe.h"

#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <sys/ioctl.h>

#include <array>
#include <cerrno>
#include <ctime>

namespace tapwell {

std::expected<EvdevDeviceProbe::DeviceInfo, Error> LibevdevProbe::inspect(int fd) {
    libevdev* device = nullptr;
    const int rc = libevdev_new_from_fd(fd, &device);
    if (rc < 0) {
        return std::unexpected(Error::posix(-rc, "libevdev"));
    }
    DeviceInfo info;
    info.isKeyboard = libevdev_has_event_type(device, EV_KEY) != 0;
    for (unsigned code : {KEY_Q, KEY_W, KEY_E, KEY_R, KEY_T, KEY_Y, KEY_U, KEY_I, KEY_O,
                          KEY_P, KEY_A, KEY_S, KEY_D, KEY_F, KEY_G, KEY_H, KEY_J, KEY_K,
                          KEY_L, KEY_Z, KEY_X, KEY_C, KEY_V, KEY_B, KEY_N, KEY_M}) {
        if (!info.isKeyboard) {
            break;
        }
        info.isKeyboard = libevdev_has_event_code(device, EV_KEY, code) != 0;
    }
    if (info.isKeyboard) {
        info.monotonicClock = libevdev_set_clock_id(device, CLOCK_MONOTONIC) == 0;
        if (libevdev_has_event_code(device, EV_LED, LED_CAPSL) != 0) {
            info.capsLock = libevdev_get_event_value(device, EV_LED, LED_CAPSL) != 0;
        }
    }
    // Only the probing uses libevdev; reading is done by our own parser on the bare descriptor,
    // which stays open (libevdev never owns it).
    libevdev_free(device);
    return info;
}

std::optional<bool> LibevdevProbe::capsLock(int fd) {
    std::array<unsigned char, (LED_MAX + 8) / 8> bits{};
    if (::ioctl(fd, EVIOCGLED(bits.size()), bits.data()) < 0) {
        return std::nullopt;
    }
    return (bits[LED_CAPSL / 8] & (1U << (LED_CAPSL % 8))) != 0;
}

}  // namespace tapwell

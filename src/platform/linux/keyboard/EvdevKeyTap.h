#pragma once
// Key events straight from the keyboards' evdev devices (`event*` under a folder, /dev/input by
// default): opened read-only and non-blocking, never grabbed, so every application still gets
// its keys. Needs read access to the devices (the `input` group, or a udev ACL).
//
// Each refresh drops devices that vanished or can no longer be read and opens the keyboards that
// can be opened now; an inotify watch on the folder makes a new or newly readable device count at
// once. Used on the key monitor's worker thread only.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "platform/linux/keyboard/EvdevDeviceProbe.h"
#include "platform/linux/keyboard/EvdevStreamParser.h"
#include "platform/linux/keyboard/PollingKeyTap.h"

namespace tapwell {

class EvdevKeyTap final : public PollingKeyTap {
  public:
    explicit EvdevKeyTap(
        std::filesystem::path folder = "/dev/input",
        std::unique_ptr<EvdevDeviceProbe> probe = std::make_unique<LibevdevProbe>());
    ~EvdevKeyTap() override;

    bool refresh(KeyTapSink& sink) override;
    void close() override;
    std::optional<bool> capsLock() override;
    // evdev knows nothing of focus; the combined tap asks X11.
    bool secureInput() override { return false; }

    void collectWatches(std::vector<Watch>& out) override;
    void dispatch(const Watch& watch, short revents, KeyTapSink& sink) override;

    std::size_t deviceCount() const { return devices_.size(); }
    bool hasDevices() const { return !devices_.empty(); }

  private:
    struct Device {
        std::uint64_t id = 0;
        std::filesystem::path path;
        int fd = -1;
        dev_t st_dev = 0;
        ino_t st_ino = 0;
        bool hasCapsLed = false;
        EvdevStreamParser parser;
    };
    using Identity = std::pair<dev_t, ino_t>;

    void scan(KeyTapSink* sink);
    bool stillReadable(const Device& device) const;
    void drop(std::size_t index, KeyTapSink* sink);
    void watchFolder();
    void readFolderEvents(KeyTapSink& sink);
    std::optional<bool> aggregateCapsLock();

    std::filesystem::path folder_;
    std::unique_ptr<EvdevDeviceProbe> probe_;
    std::vector<Device> devices_;
    std::set<Identity> notKeyboards_;  // probed once; not probed again while they exist
    std::uint64_t nextId_ = 1;
    int inotifyFd_ = -1;
};

}  // namespace tapwell

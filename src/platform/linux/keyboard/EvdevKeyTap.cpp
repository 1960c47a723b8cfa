#include "platform/linux/keyboard/EvdevKeyTap.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <system_error>

namespace tapwell {

namespace {

constexpr std::uint64_t folderTag = 0;

std::int64_t clockNs(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

bool isEventNode(const std::filesystem::path& path) {
    return path.filename().string().starts_with("event");
}

}  // namespace

EvdevKeyTap::EvdevKeyTap(std::filesystem::path folder, std::unique_ptr<EvdevDeviceProbe> probe)
    : folder_(std::move(folder)), probe_(std::move(probe)) {}

EvdevKeyTap::~EvdevKeyTap() {
    close();
}

bool EvdevKeyTap::refresh(KeyTapSink& sink) {
    if (inotifyFd_ < 0) {
        watchFolder();
    }
    for (std::size_t i = devices_.size(); i-- > 0;) {
        if (!stillReadable(devices_[i])) {
            drop(i, &sink);
        }
    }
    scan(&sink);
    return hasDevices();
}

void EvdevKeyTap::close() {
    for (Device& device : devices_) {
        ::close(device.fd);
    }
    devices_.clear();
    if (inotifyFd_ >= 0) {
        ::close(inotifyFd_);
        inotifyFd_ = -1;
    }
}

std::optional<bool> EvdevKeyTap::capsLock() {
    if (!devices_.empty()) {
        return aggregateCapsLock();
    }
    // Nothing open (before the first refresh, or without access): look briefly.
    scan(nullptr);
    const auto caps = aggregateCapsLock();
    for (Device& device : devices_) {
        ::close(device.fd);
    }
    devices_.clear();
    return caps;
}

std::optional<bool> EvdevKeyTap::aggregateCapsLock() {
    std::optional<bool> result;
    for (const Device& device : devices_) {
        if (!device.hasCapsLed) {
            continue;
        }
        if (const auto caps = probe_->capsLock(device.fd); caps.has_value()) {
            result = result.value_or(false) || *caps;
        }
    }
    return result;
}

void EvdevKeyTap::collectWatches(std::vector<Watch>& out) {
    if (inotifyFd_ >= 0) {
        out.push_back(Watch{inotifyFd_, POLLIN, this, folderTag});
    }
    for (const Device& device : devices_) {
        out.push_back(Watch{device.fd, POLLIN, this, device.id});
    }
}

void EvdevKeyTap::dispatch(const Watch& watch, short revents, KeyTapSink& sink) {
    if (watch.tag == folderTag) {
        readFolderEvents(sink);
        return;
    }
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        Device& device = devices_[i];
        if (device.id != watch.tag) {
            continue;
        }
        if ((revents & POLLIN) != 0) {
            const auto status = device.parser.readFrom(device.fd, sink);
            if (status != EvdevStreamParser::ReadStatus::more) {
                drop(i, &sink);
            }
        } else if ((revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            drop(i, &sink);
        }
        return;
    }
}

void EvdevKeyTap::scan(KeyTapSink* sink) {
    std::error_code error;
    std::filesystem::directory_iterator entries(folder_, error);
    if (error) {
        notKeyboards_.clear();
        return;
    }
    std::set<Identity> present;
    for (const auto& entry : entries) {
        const std::filesystem::path& path = entry.path();
        if (!isEventNode(path)) {
            continue;
        }
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            continue;
        }
        const Identity identity{info.st_dev, info.st_ino};
        present.insert(identity);
        bool known = notKeyboards_.contains(identity);
        for (const Device& device : devices_) {
            known = known || (device.st_dev == info.st_dev && device.st_ino == info.st_ino);
        }
        if (known) {
            continue;
        }
        // Read-only and never grabbed: the keys still reach every application.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;  // no access yet (EACCES): tried again on the next refresh
        }
        const auto probed = probe_->inspect(fd);
        if (!probed.has_value() || !probed->isKeyboard) {
            ::close(fd);
            notKeyboards_.insert(identity);
            continue;
        }
        Device device;
        device.id = nextId_++;
        device.path = path;
        device.fd = fd;
        device.st_dev = info.st_dev;
        device.st_ino = info.st_ino;
        device.hasCapsLed = probed->capsLock.has_value();
        if (!probed->monotonicClock) {
            // Stamps stay on the wall clock; shift them onto the monotonic one.
            device.parser.setClockOffsetNs(clockNs(CLOCK_MONOTONIC) - clockNs(CLOCK_REALTIME));
        }
        devices_.push_back(std::move(device));
        if (sink != nullptr && probed->capsLock.has_value()) {
            sink->capsLockChanged(*probed->capsLock);
        }
    }
    // Forget rejections of nodes that are gone, so a new device reusing the inode is probed.
    std::erase_if(notKeyboards_, [&](const Identity& id) { return !present.contains(id); });
}

bool EvdevKeyTap::stillReadable(const Device& device) const {
    struct stat info {};
    if (::stat(device.path.c_str(), &info) != 0) {
        return false;
    }
    if (info.st_dev != device.st_dev || info.st_ino != device.st_ino) {
        return false;
    }
    // Access withdrawn (group membership, ACL): stop listening as the user asked.
    return ::access(device.path.c_str(), R_OK) == 0;
}

void EvdevKeyTap::drop(std::size_t index, KeyTapSink* sink) {
    Device& device = devices_[index];
    if (sink != nullptr) {
        // Keys typed just before the device went are still worth their sound.
        device.parser.readFrom(device.fd, *sink);
    }
    ::close(device.fd);
    devices_.erase(devices_.begin() + static_cast<std::ptrdiff_t>(index));
    if (sink != nullptr) {
        sink->eventsMissed();
    }
}

void EvdevKeyTap::watchFolder() {
    inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd_ < 0) {
        return;
    }
    const auto mask = IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_TO | IN_MOVED_FROM |
                      IN_DELETE_SELF | IN_MOVE_SELF;
    if (::inotify_add_watch(inotifyFd_, folder_.c_str(), mask) < 0) {
        ::close(inotifyFd_);
        inotifyFd_ = -1;
    }
}

void EvdevKeyTap::readFolderEvents(KeyTapSink& sink) {
    alignas(inotify_event) std::array<char, 4096> buffer;
    bool folderGone = false;
    for (;;) {
        const ssize_t got = ::read(inotifyFd_, buffer.data(), buffer.size());
        if (got <= 0) {
            break;
        }
        for (ssize_t offset = 0; offset < got;) {
            inotify_event event;
            std::memcpy(&event, buffer.data() + offset, sizeof event);
            folderGone = folderGone || (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED));
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
        }
    }
    if (folderGone) {
        ::close(inotifyFd_);
        inotifyFd_ = -1;  // watched again by the next refresh, if the folder comes back
    }
    // A device appeared, vanished or changed its permissions: bring the list up to date now
    // rather than at the next refresh.
    for (std::size_t i = devices_.size(); i-- > 0;) {
        if (!stillReadable(devices_[i])) {
            drop(i, &sink);
        }
    }
    scan(&sink);
}

}  // namespace tapwell

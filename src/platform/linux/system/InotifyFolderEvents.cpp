#include "platform/linux/system/InotifyFolderEvents.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace tapwell {

namespace {

constexpr std::uint32_t watchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                    IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF |
                                    IN_ONLYDIR;

}  // namespace

InotifyFolderEvents::~InotifyFolderEvents() {
    close();
}

std::optional<Error> InotifyFolderEvents::open(const std::filesystem::path& folder,
                                               std::function<void()> onChange) {
    close();
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) {
        return Error::posix(errno, folder.string());
    }
    if (::inotify_add_watch(fd_, folder.c_str(), watchMask) < 0) {
        const int error = errno;
        close();
        return Error::posix(error, folder.string());
    }
    onChange_ = std::move(onChange);
    if (auto error = watch_.start(fd_, "com.tapwell.folder-events", [this] { drain(); })) {
        close();
        return error;
    }
    return std::nullopt;
}

void InotifyFolderEvents::drain() {
    // Every kind of event, an overflow included, means the same thing to the watcher: list the
    // folder again. So the events are only consumed, and one batch gives one notification.
    alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    bool any = false;
    for (;;) {
        const auto count = ::read(fd_, buffer, sizeof buffer);
        if (count > 0) {
            any = true;
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        break;  // EAGAIN: drained
    }
    if (any && onChange_) {
        onChange_();
    }
}

void InotifyFolderEvents::close() {
    watch_.stop();
    if (fd_ >= 0) {
        ::close(fd_);  // removes the watch as well
        fd_ = -1;
    }
    onChange_ = nullptr;
}

}  // namespace tapwell

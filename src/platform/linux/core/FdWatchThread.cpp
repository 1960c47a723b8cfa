#include "platform/linux/core/FdWatchThread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "core/ThreadName.h"

namespace tapwell {

FdWatchThread::~FdWatchThread() {
    stop();
}

std::optional<Error> FdWatchThread::start(int fd, std::string threadLabel,
                                          std::function<void()> onReadable) {
    stop();
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0) {
        return Error::posix(errno, "eventfd");
    }
    thread_ = std::thread([this, fd, label = std::move(threadLabel),
                           handler = std::move(onReadable)] { run(fd, label, handler); });
    return std::nullopt;
}

void FdWatchThread::run(int fd, const std::string& threadLabel,
                        const std::function<void()>& onReadable) {
    setCurrentThreadName(threadLabel);
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            onReadable();
        } else if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return;  // nothing more will come; waiting on it would spin
        }
    }
}

void FdWatchThread::stop() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        // A full counter still wakes the thread, so a failed write needs no handling.
        [[maybe_unused]] const auto written = ::write(stopFd_, &one, sizeof one);
        thread_.join();
    }
    if (stopFd_ >= 0) {
        ::close(stopFd_);
        stopFd_ = -1;
    }
}

}  // namespace tapwell

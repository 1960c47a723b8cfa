#include "platform/fallback/EventFdWaker.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace tapwell {

EventFdWaker::EventFdWaker() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0) {
        // Only when the process is out of descriptors; an output that could never be woken
        // would fall silent for good.
        std::abort();
    }
}

EventFdWaker::~EventFdWaker() {
    ::close(fd_);
}

void EventFdWaker::wake() noexcept {
    const std::uint64_t one = 1;
    // Fails only when the counter is full, and then the descriptor is readable anyway.
    (void)!::write(fd_, &one, sizeof one);
}

void EventFdWaker::wait() noexcept {
    pollfd entry{fd_, POLLIN, 0};
    while (::poll(&entry, 1, -1) < 0 && errno == EINTR) {
    }
    clear();
}

void EventFdWaker::clear() noexcept {
    std::uint64_t count = 0;
    (void)!::read(fd_, &count, sizeof count);
}

}  // namespace tapwell

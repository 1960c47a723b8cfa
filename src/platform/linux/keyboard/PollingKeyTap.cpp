#include "platform/linux/keyboard/PollingKeyTap.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "core/Log.h"

namespace tapwell {

PollingKeyTap::PollingKeyTap() {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        // Without it a stop is still noticed at the end of the current wait (at most a second).
        logger(LogCategory::keyboardPermission)
            .warn("Key tap wake-up unavailable: {}", std::strerror(errno));
    }
}

PollingKeyTap::~PollingKeyTap() {
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
}

void PollingKeyTap::wake() {
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        // A full counter means a wake-up is pending already; nothing to do then.
        [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
    }
}

void PollingKeyTap::wait(std::chrono::nanoseconds timeout, KeyTapSink& sink) {
    if (dispatchBuffered(sink)) {
        return;
    }
    watches_.clear();
    collectWatches(watches_);
    pollFds_.clear();
    pollFds_.push_back(pollfd{wakeFd_, POLLIN, 0});
    for (const Watch& watch : watches_) {
        pollFds_.push_back(pollfd{watch.fd, watch.events, 0});
    }

    if (timeout.count() < 0) {
        timeout = std::chrono::nanoseconds(0);
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
    const timespec limit{static_cast<time_t>(seconds.count()),
                         static_cast<long>((timeout - seconds).count())};
    const int ready = ::ppoll(pollFds_.data(), pollFds_.size(), &limit, nullptr);
    if (ready <= 0) {
        return;  // time-out, or a signal (EINTR): the caller loops anyway
    }
    if (pollFds_[0].revents != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto drained = ::read(wakeFd_, &count, sizeof count);
    }
    for (std::size_t i = 0; i < watches_.size(); ++i) {
        const short revents = pollFds_[i + 1].revents;
        if (revents != 0) {
            watches_[i].owner->dispatch(watches_[i], revents, sink);
        }
    }
}

}  // namespace tapwell

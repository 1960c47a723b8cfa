#include "platform/linux/keyboard/EvdevStreamParser.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/Saturating.h"

namespace tapwell {

namespace {
// Enough for a burst of typing plus the frames around it, read in one system call.
constexpr std::size_t readBatch = 64;
}  // namespace

EvdevStreamParser::ReadStatus EvdevStreamParser::readFrom(int fd, KeyTapSink& sink,
                                                          int* lastErrno) {
    std::array<std::byte, readBatch * sizeof(input_event)> buffer;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got > 0) {
            feed(buffer.data(), static_cast<std::size_t>(got), sink);
            if (static_cast<std::size_t>(got) < buffer.size()) {
                return ReadStatus::more;
            }
            continue;
        }
        if (got == 0) {
            return ReadStatus::endOfFile;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return ReadStatus::more;
        }
        if (lastErrno != nullptr) {
            *lastErrno = errno;
        }
        return ReadStatus::failed;
    }
}

void EvdevStreamParser::feed(const std::byte* data, std::size_t size, KeyTapSink& sink) {
    if (partialSize_ > 0) {
        const std::size_t take = std::min(size, partial_.size() - partialSize_);
        std::memcpy(partial_.data() + partialSize_, data, take);
        partialSize_ += take;
        data += take;
        size -= take;
        if (partialSize_ < partial_.size()) {
            return;
        }
        input_event event;
        std::memcpy(&event, partial_.data(), sizeof event);
        partialSize_ = 0;
        handle(event, sink);
    }
    while (size >= sizeof(input_event)) {
        input_event event;
        std::memcpy(&event, data, sizeof event);  // the buffer need not be aligned
        handle(event, sink);
        data += sizeof event;
        size -= sizeof event;
    }
    if (size > 0) {
        std::memcpy(partial_.data(), data, size);
        partialSize_ = size;
    }
}

void EvdevStreamParser::handle(const input_event& event, KeyTapSink& sink) {
    if (event.type == EV_SYN) {
        if (event.code == SYN_DROPPED) {
            // The kernel's buffer overflowed: the rest of this frame is unreliable and whatever
            // went missing (releases, most likely) will not come.
            dropping_ = true;
            sink.eventsMissed();
        } else if (event.code == SYN_REPORT) {
            dropping_ = false;
        }
        return;
    }
    if (dropping_) {
        return;
    }
    if (event.type == EV_KEY) {
        // Buttons share EV_KEY with keys: a keyboard with a touchpad or a mouse button on it
        // must not sound like typing.
        const bool isButton =
            (event.code >= BTN_MISC && event.code < KEY_OK) || event.code >= BTN_TRIGGER_HAPPY;
        if (isButton || event.value < 0 || event.value > 2) {
            return;
        }
        // The kernel's stamps are sane, but a FIFO may carry anything: a stamp out of range
        // stops at the end of it rather than wrapping round.
        const std::int64_t ns = saturatingAdd(
            saturatingAdd(
                saturatingMul(static_cast<std::int64_t>(event.input_event_sec), 1'000'000'000),
                saturatingMul(static_cast<std::int64_t>(event.input_event_usec), 1'000)),
            clockOffsetNs_);
        sink.keyEvent(KeyTapEvent{event.code, static_cast<KeyTapAction>(event.value), ns});
    } else if (event.type == EV_LED && event.code == LED_CAPSL) {
        capsLock_ = event.value != 0;
        sink.capsLockChanged(*capsLock_);
    }
}

}  // namespace tapwell

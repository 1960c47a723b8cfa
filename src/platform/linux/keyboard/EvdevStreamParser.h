#pragma once
// Turns the byte stream of an evdev device (24-byte `struct input_event` records) into key
// events, caps lock LED changes and lost-event notices. It does no ioctl and works on any
// descriptor that carries such records, a pipe or FIFO as well as a device.

#include <linux/input.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "keyboard/KeyTap.h"

namespace tapwell {

class EvdevStreamParser {
  public:
    enum class ReadStatus {
        more,       // everything available was read; the descriptor stays open
        endOfFile,  // the writer went away (a FIFO) or the device is gone
        failed,     // a read error other than "try again" (ENODEV when unplugged, EIO...)
    };

    // Offset added to every time stamp, for devices whose clock could not be switched to
    // CLOCK_MONOTONIC (their stamps are then on the wall clock).
    void setClockOffsetNs(std::int64_t offset) { clockOffsetNs_ = offset; }

    // Reads what is available from a non-blocking descriptor and delivers it. `lastErrno` tells
    // the error of `failed`.
    ReadStatus readFrom(int fd, KeyTapSink& sink, int* lastErrno = nullptr);

    // Delivers complete records of `data`; an incomplete tail is kept for the next call.
    void feed(const std::byte* data, std::size_t size, KeyTapSink& sink);

    // The last caps lock LED state that the stream reported, if any.
    std::optional<bool> capsLock() const { return capsLock_; }

  private:
    void handle(const input_event& event, KeyTapSink& sink);

    std::array<std::byte, sizeof(input_event)> partial_{};
    std::size_t partialSize_ = 0;
    bool dropping_ = false;  // after SYN_DROPPED, until the next SYN_REPORT
    std::int64_t clockOffsetNs_ = 0;
    std::optional<bool> capsLock_;
};

}  // namespace tapwell

// The key device stream: 24-byte input_event records read from /dev/input, arriving cut at any
// byte. Whatever the bytes, only key presses, releases and repeats come out, and feeding the same
// stream in other pieces gives the same events.
//
// Input: one byte N (taken modulo 9), N bytes of piece lengths, eight bytes of clock offset, then
// the stream.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "FuzzSupport.h"
#include "platform/linux/keyboard/EvdevStreamParser.h"

using namespace tapwell;

namespace {

struct Recorder final : KeyTapSink {
    std::vector<KeyTapEvent> keys;
    std::vector<bool> caps;
    int missed = 0;
    void keyEvent(const KeyTapEvent& event) override { keys.push_back(event); }
    void capsLockChanged(bool isOn) override { caps.push_back(isOn); }
    void eventsMissed() override { ++missed; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::size_t count = data[0] % 9;
    if (size < 1 + count + sizeof(std::int64_t)) {
        return 0;
    }
    std::vector<std::size_t> cuts(data + 1, data + 1 + count);
    std::int64_t offset = 0;
    std::memcpy(&offset, data + 1 + count, sizeof offset);
    const std::size_t header = 1 + count + sizeof offset;
    const std::span<const std::uint8_t> stream(data + header, size - header);
    const auto* bytes = reinterpret_cast<const std::byte*>(stream.data());

    Recorder whole;
    EvdevStreamParser one;
    one.setClockOffsetNs(offset);
    one.feed(bytes, stream.size(), whole);

    Recorder pieces;
    EvdevStreamParser other;
    other.setClockOffsetNs(offset);
    std::size_t at = 0;
    for (std::size_t cut : cuts) {
        const std::size_t length = std::min(cut, stream.size() - at);
        other.feed(bytes + at, length, pieces);
        at += length;
    }
    other.feed(bytes + at, stream.size() - at, pieces);

    FUZZ_CHECK(whole.keys == pieces.keys && whole.caps == pieces.caps &&
               whole.missed == pieces.missed);
    for (const KeyTapEvent& event : whole.keys) {
        FUZZ_CHECK(event.action == KeyTapAction::release || event.action == KeyTapAction::press ||
                   event.action == KeyTapAction::repeat);
    }
    return 0;
}

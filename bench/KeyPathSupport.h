#pragma once
// Pieces shared by the key-path benchmarks: FIFOs standing in for keyboards, evdev records with
// monotonic stamps, and percentile counters.

#include <benchmark/benchmark.h>
#include <linux/input.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/keyboard/EvdevDeviceProbe.h"

namespace tapwell {

inline std::int64_t monotonicNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

inline input_event keyRecord(std::int64_t code, int value, std::int64_t ns) {
    input_event event{};
    event.input_event_sec = static_cast<decltype(event.input_event_sec)>(ns / 1'000'000'000);
    event.input_event_usec =
        static_cast<decltype(event.input_event_usec)>((ns % 1'000'000'000) / 1000);
    event.type = EV_KEY;
    event.code = static_cast<std::uint16_t>(code);
    event.value = value;
    return event;
}

// FIFOs in a bench folder are keyboards with monotonic stamps.
class FifoProbe final : public EvdevDeviceProbe {
  public:
    std::expected<DeviceInfo, Error> inspect(int) override {
        return DeviceInfo{true, true, std::nullopt};
    }
    std::optional<bool> capsLock(int) override { return std::nullopt; }
};

// Median, 99th percentile and maximum of `micros`, as counters named with `prefix`.
inline void report(benchmark::State& state, std::vector<double>& micros,
                   const std::string& prefix = "") {
    if (micros.empty()) {
        return;
    }
    std::sort(micros.begin(), micros.end());
    state.counters[prefix + "median_us"] = micros[micros.size() / 2];
    state.counters[prefix + "p99_us"] =
        micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
    state.counters[prefix + "max_us"] = micros.back();
}

}  // namespace tapwell

// The key path: an input_event record is read by the evdev tap, parsed, passed through the
// monitor's secure-input rule and filter, and handed to `onKey`. Prints the median and the 99th
// percentile in microseconds.
//
// BM_KeyPathThroughMonitor: a running KeyMonitor reading a FIFO as its keyboard; the latency from
//   writing the record to the callback, measured in the callback against the record's own
//   CLOCK_MONOTONIC stamp (so it includes the kernel's wake-up of the worker thread).
// BM_ParseAndFilter: the same work without threads: parse one press and one release and filter
//   them, on the calling thread.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <vector>

#include "keyboard/KeyCodes.h"
#include "keyboard/KeyEventFilter.h"
#include "keyboard/KeyMonitor.h"
#include "platform/linux/EvdevKeyTap.h"
#include "platform/linux/EvdevStreamParser.h"
#include "KeyPathSupport.h"

namespace tapwell {
namespace {

void BM_KeyPathThroughMonitor(benchmark::State& state) {
    char pattern[] = "/tmp/tapwell-bench-XXXXXX";
    const std::filesystem::path folder = ::mkdtemp(pattern);
    const auto device = folder / "event0";
    ::mkfifo(device.c_str(), 0600);

    std::atomic<std::int64_t> seenAt{0};
    std::atomic<std::int64_t> stampNs{0};
    std::atomic<bool> available{false};
    KeyMonitor monitor(std::make_unique<EvdevKeyTap>(folder, std::make_unique<FifoProbe>()));
    monitor.onKey = [&](KeyActivity activity) {
        stampNs.store(static_cast<std::int64_t>(activity.timestamp * 1e9 + 0.5),
                      std::memory_order_relaxed);
        seenAt.store(monotonicNs(), std::memory_order_release);
    };
    monitor.onAvailability = [&](bool isAvailable) { available.store(isAvailable); };
    monitor.start();
    while (!available.load()) {
        std::this_thread::yield();
    }
    const int writer = ::open(device.c_str(), O_WRONLY | O_CLOEXEC);

    std::vector<double> micros;
    micros.reserve(100'000);
    bool down = true;
    for (auto _ : state) {
        // Microsecond resolution of the record's stamp: write it as the record says.
        const std::int64_t sentNs = monotonicNs() / 1000 * 1000;
        const input_event records[2] = {keyRecord(keycode::a, down ? 1 : 0, sentNs),
                                        input_event{}};  // a SYN_REPORT closes the frame
        seenAt.store(0, std::memory_order_relaxed);
        [[maybe_unused]] const auto written = ::write(writer, records, sizeof records);
        std::int64_t seen = 0;
        while ((seen = seenAt.load(std::memory_order_acquire)) == 0) {
        }
        const double latency = static_cast<double>(seen - sentNs) / 1000.0;
        micros.push_back(latency);
        state.SetIterationTime(latency / 1e6);
        down = !down;
    }
    ::close(writer);
    monitor.stop();
    monitor.join();
    std::filesystem::remove_all(folder);
    report(state, micros);
}
BENCHMARK(BM_KeyPathThroughMonitor)->UseManualTime()->Iterations(20'000);

struct FilterSink final : KeyTapSink {
    KeyEventFilter filter;
    std::int64_t delivered = 0;
    void keyEvent(const KeyTapEvent& event) override {
        const auto accepted = filter.accept(event.action != KeyTapAction::release, event.code,
                                            event.action == KeyTapAction::repeat);
        if (accepted) {
            benchmark::DoNotOptimize(KeyActivity{accepted->kind, accepted->isDown,
                                                 static_cast<double>(event.timestampNs) / 1e9});
            ++delivered;
        }
    }
    void capsLockChanged(bool) override {}
    void eventsMissed() override { filter.reset(); }
};

void BM_ParseAndFilter(benchmark::State& state) {
    EvdevStreamParser parser;
    FilterSink sink;
    const input_event records[4] = {keyRecord(keycode::space, 1, 1'000'000), input_event{},
                                    keyRecord(keycode::space, 0, 2'000'000), input_event{}};
    const auto* bytes = reinterpret_cast<const std::byte*>(records);
    for (auto _ : state) {
        parser.feed(bytes, sizeof records, sink);
    }
    state.SetItemsProcessed(sink.delivered);
}
BENCHMARK(BM_ParseAndFilter);

}  // namespace
}  // namespace tapwell

// The key path without threads: the evdev stream parser reads one press and one release and the
// filter passes them, on the calling thread. The same path through a running monitor, up to the
// sound engine's play(), is measured by bench_keypath.

#include <benchmark/benchmark.h>
#include <linux/input.h>

#include <algorithm>
#include <vector>

#include "KeyPathSupport.h"
#include "keyboard/KeyCodes.h"
#include "keyboard/KeyEventFilter.h"
#include "platform/linux/keyboard/EvdevStreamParser.h"

namespace tapwell {
namespace {

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

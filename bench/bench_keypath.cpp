// The whole key path, from the key tap's read of an event to the return of SoundEngine::play,
// with the built-in themes and the null output (set TAPWELL_RESOURCE_DIR, or run from the build
// tree). Prints the median and the 99th percentile in microseconds.
//
// BM_TapReadToPlayReturn: on one thread, as the key monitor runs it: the evdev stream parser reads
//   a press or release record, the filter passes it, play() schedules the sample.
// BM_FifoWriteToPlayReturn: a running KeyMonitor reading a FIFO as its keyboard; from writing the
//   record to play() returning in onKey, so it also includes the kernel waking the monitor.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <vector>

#include "KeyPathSupport.h"
#include "core/ResourceLocator.h"
#include "keyboard/KeyCodes.h"
#include "keyboard/KeyEventFilter.h"
#include "keyboard/KeyMonitor.h"
#include "platform/fallback/NullAudioOutput.h"
#include "platform/linux/keyboard/EvdevKeyTap.h"
#include "platform/linux/keyboard/EvdevStreamParser.h"
#include "sound/SoundEngine.h"
#include "themes/ThemeManager.h"

namespace tapwell {
namespace {

std::unique_ptr<SoundEngine> makeEngine(benchmark::State& state) {
    const auto resources = ResourceLocator::find();
    if (!resources) {
        state.SkipWithError("no resource folder (set TAPWELL_RESOURCE_DIR)");
        return nullptr;
    }
    auto catalogue = ThemeManager::create(*resources);
    if (!catalogue) {
        state.SkipWithError("the resource folder cannot be listed");
        return nullptr;
    }
    std::vector<LoadedTheme> themes;
    for (const auto& entry : catalogue->entries) {
        if (entry.loaded) {
            themes.push_back(*entry.loaded);
        }
    }
    SoundEngine::Dependencies dependencies;
    dependencies.output = std::make_shared<NullAudioOutput>(256);
    auto engine = SoundEngine::create(themes, std::nullopt, std::move(dependencies));
    if (!engine) {
        state.SkipWithError("the sound engine could not start");
        return nullptr;
    }
    return std::move(*engine);
}

// The monitor's work for one raw event, minus the thread: filter, then play.
struct PlayingSink final : KeyTapSink {
    SoundEngine* engine = nullptr;
    KeyEventFilter filter;
    void keyEvent(const KeyTapEvent& event) override {
        const auto accepted = filter.accept(event.action != KeyTapAction::release, event.code,
                                            event.action == KeyTapAction::repeat);
        if (accepted) {
            engine->play(KeyActivity{accepted->kind, accepted->isDown,
                                     static_cast<double>(event.timestampNs) / 1e9});
        }
    }
    void capsLockChanged(bool) override {}
    void eventsMissed() override { filter.reset(); }
};

void BM_TapReadToPlayReturn(benchmark::State& state) {
    auto engine = makeEngine(state);
    if (!engine) {
        return;
    }
    EvdevStreamParser parser;
    PlayingSink sink;
    sink.engine = engine.get();
    std::vector<double> micros;
    micros.reserve(200'000);
    bool down = true;
    std::int64_t code = keycode::a;
    for (auto _ : state) {
        const input_event records[2] = {keyRecord(code, down ? 1 : 0, 1'000'000), input_event{}};
        const std::int64_t start = monotonicNs();
        parser.feed(reinterpret_cast<const std::byte*>(records), sizeof records, sink);
        const std::int64_t end = monotonicNs();
        micros.push_back(static_cast<double>(end - start) / 1000.0);
        if (!down) {
            code = code == keycode::k ? keycode::a : code + 1;
        }
        down = !down;
    }
    report(state, micros);
}
BENCHMARK(BM_TapReadToPlayReturn)->Iterations(100'000);

void BM_FifoWriteToPlayReturn(benchmark::State& state) {
    auto engine = makeEngine(state);
    if (!engine) {
        return;
    }
    char pattern[] = "/tmp/tapwell-bench-XXXXXX";
    const std::filesystem::path folder = ::mkdtemp(pattern);
    const auto device = folder / "event0";
    ::mkfifo(device.c_str(), 0600);

    std::atomic<std::int64_t> playedAt{0};
    std::atomic<bool> available{false};
    KeyMonitor monitor(std::make_unique<EvdevKeyTap>(folder, std::make_unique<FifoProbe>()));
    monitor.onKey = [&](KeyActivity activity) {
        engine->play(activity);
        playedAt.store(monotonicNs(), std::memory_order_release);
    };
    monitor.onAvailability = [&](bool isAvailable) { available.store(isAvailable); };
    monitor.start();
    while (!available.load()) {
        std::this_thread::yield();
    }
    const int writer = ::open(device.c_str(), O_WRONLY | O_CLOEXEC);
    std::vector<double> micros;
    micros.reserve(20'000);
    bool down = true;
    for (auto _ : state) {
        const std::int64_t sentNs = monotonicNs() / 1000 * 1000;
        const input_event records[2] = {keyRecord(keycode::a, down ? 1 : 0, sentNs), input_event{}};
        playedAt.store(0, std::memory_order_relaxed);
        [[maybe_unused]] const auto written = ::write(writer, records, sizeof records);
        std::int64_t played = 0;
        while ((played = playedAt.load(std::memory_order_acquire)) == 0) {
        }
        const double latency = static_cast<double>(played - sentNs) / 1000.0;
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
BENCHMARK(BM_FifoWriteToPlayReturn)->UseManualTime()->Iterations(20'000);

}  // namespace
}  // namespace tapwell

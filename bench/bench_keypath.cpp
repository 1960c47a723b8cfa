// The whole key path as the application installs it (AppState::makeKeyHandler), from the key
// tap's read of an event to the return of the handler: the gate, SoundEngine::play and the
// hand-over to the statistics and wellbeing services. Built-in themes and the null output (set
// TAPWELL_RESOURCE_DIR, or run from the build tree); statistics and defaults go to a temporary
// folder. Prints the median and the 99th percentile in microseconds.
//
// Between two keys the services are given time to take the key and fall asleep again (outside
// the measured span), as at human typing speed: every key finds them asleep, so every hand-over
// has to wake them.
//
// BM_TapReadToPlayReturn: on one thread, as the key monitor runs it: the evdev stream parser reads
//   a press or release record, the filter passes it, the handler runs.
// BM_FifoWriteToPlayReturn: a running KeyMonitor reading a FIFO as its keyboard; from writing the
//   record to the handler's return in onKey, so it also includes the kernel waking the monitor.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "KeyPathSupport.h"
#include "app/AppState.h"
#include "core/ResourceLocator.h"
#include "core/UserDefaults.h"
#include "keyboard/KeyCodes.h"
#include "keyboard/KeyEventFilter.h"
#include "keyboard/KeyMonitor.h"
#include "platform/fallback/NullAudioOutput.h"
#include "platform/linux/keyboard/EvdevKeyTap.h"
#include "platform/linux/keyboard/EvdevStreamParser.h"
#include "sound/SoundEngine.h"
#include "stats/StatsStore.h"
#include "themes/ThemeManager.h"
#include "wellbeing/WellbeingService.h"

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

// The services of the key path, started as the application starts them.
class KeyPathServices {
  public:
    explicit KeyPathServices(benchmark::State& state) {
        char pattern[] = "/tmp/tapwell-bench-XXXXXX";
        folder_ = ::mkdtemp(pattern);
        engine_ = makeEngine(state);
        if (!engine_) {
            return;
        }
        defaults_ = std::make_unique<UserDefaults>(folder_ / "defaults.json");
        stats_ = std::make_unique<StatsStore>(SystemClock::shared(), folder_ / "stats");
        wellbeing_ = std::make_unique<WellbeingService>(*defaults_, SystemClock::shared());
        wellbeing_->start();
        stats_->start();
        onKey = AppState::makeKeyHandler(std::make_shared<KeyGate>(),
                                         std::make_shared<AppState::KeySound>(engine_.get()),
                                         *stats_, *wellbeing_, SystemClock::shared());
    }
    ~KeyPathServices() {
        if (stats_) {
            stats_->stop();
            wellbeing_->stop();
        }
        stats_.reset();
        wellbeing_.reset();
        engine_.reset();
        std::filesystem::remove_all(folder_);
    }
    KeyPathServices(const KeyPathServices&) = delete;
    KeyPathServices& operator=(const KeyPathServices&) = delete;

    bool ready() const { return static_cast<bool>(onKey); }
    // Waits until statistics and wellbeing have taken every key handed over so far, and gives
    // their threads time to fall asleep.
    void settle() {
        stats_->sync();
        wellbeing_->sync();
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }

    std::function<void(KeyActivity)> onKey;

  private:
    std::filesystem::path folder_;
    std::unique_ptr<UserDefaults> defaults_;
    std::unique_ptr<SoundEngine> engine_;
    std::unique_ptr<StatsStore> stats_;
    std::unique_ptr<WellbeingService> wellbeing_;
};

// The monitor's work for one raw event, minus the thread: filter, then the key handler.
struct HandlingSink final : KeyTapSink {
    const std::function<void(KeyActivity)>* onKey = nullptr;
    KeyEventFilter filter;
    void keyEvent(const KeyTapEvent& event) override {
        const auto accepted = filter.accept(event.action != KeyTapAction::release, event.code,
                                            event.action == KeyTapAction::repeat);
        if (accepted) {
            (*onKey)(KeyActivity{accepted->kind, accepted->isDown,
                                 static_cast<double>(event.timestampNs) / 1e9});
        }
    }
    void capsLockChanged(bool) override {}
    void eventsMissed() override { filter.reset(); }
};

void BM_TapReadToPlayReturn(benchmark::State& state) {
    KeyPathServices services(state);
    if (!services.ready()) {
        return;
    }
    EvdevStreamParser parser;
    HandlingSink sink;
    sink.onKey = &services.onKey;
    std::vector<double> micros;
    std::vector<double> downMicros;
    micros.reserve(20'000);
    downMicros.reserve(10'000);
    bool down = true;
    std::int64_t code = keycode::a;
    for (auto _ : state) {
        const input_event records[2] = {keyRecord(code, down ? 1 : 0, 1'000'000), input_event{}};
        const std::int64_t start = monotonicNs();
        parser.feed(reinterpret_cast<const std::byte*>(records), sizeof records, sink);
        const std::int64_t end = monotonicNs();
        micros.push_back(static_cast<double>(end - start) / 1000.0);
        if (down) {
            downMicros.push_back(micros.back());
        }
        services.settle();
        if (!down) {
            code = code == keycode::k ? keycode::a : code + 1;
        }
        down = !down;
    }
    report(state, micros);
    report(state, downMicros, "down_");
}
BENCHMARK(BM_TapReadToPlayReturn)->Iterations(20'000);

void BM_FifoWriteToPlayReturn(benchmark::State& state) {
    KeyPathServices services(state);
    if (!services.ready()) {
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
        services.onKey(activity);
        playedAt.store(monotonicNs(), std::memory_order_release);
    };
    monitor.onAvailability = [&](bool isAvailable) { available.store(isAvailable); };
    monitor.start();
    while (!available.load()) {
        std::this_thread::yield();
    }
    const int writer = ::open(device.c_str(), O_WRONLY | O_CLOEXEC);
    std::vector<double> micros;
    std::vector<double> downMicros;
    micros.reserve(10'000);
    downMicros.reserve(5'000);
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
        if (down) {
            downMicros.push_back(latency);
        }
        state.SetIterationTime(latency / 1e6);
        services.settle();
        down = !down;
    }
    ::close(writer);
    monitor.stop();
    monitor.join();
    std::filesystem::remove_all(folder);
    report(state, micros);
    report(state, downMicros, "down_");
}
BENCHMARK(BM_FifoWriteToPlayReturn)->UseManualTime()->Iterations(10'000);

}  // namespace
}  // namespace tapwell

// The costs that sit on the key path: a sync onto an idle serial queue, and the key filter.

#include <benchmark/benchmark.h>

#include "core/SerialQueue.h"
#include "keyboard/KeyCodes.h"
#include "keyboard/KeyEventFilter.h"

namespace {

void BM_SyncOnIdleQueue(benchmark::State& state) {
    tapwell::SerialQueue queue("com.tapwell.bench");
    int counter = 0;
    queue.sync([] {});
    for (auto _ : state) {
        queue.sync([&counter] { ++counter; });
    }
    benchmark::DoNotOptimize(counter);
}
BENCHMARK(BM_SyncOnIdleQueue);

void BM_AsyncThenSync(benchmark::State& state) {
    tapwell::SerialQueue queue("com.tapwell.bench");
    int counter = 0;
    for (auto _ : state) {
        queue.async([&counter] { ++counter; });
        queue.sync([] {});
    }
    benchmark::DoNotOptimize(counter);
}
BENCHMARK(BM_AsyncThenSync);

void BM_KeyEventFilterPressAndRelease(benchmark::State& state) {
    tapwell::KeyEventFilter filter;
    std::int64_t code = tapwell::keycode::a;
    for (auto _ : state) {
        auto down = filter.accept(true, code, false);
        auto up = filter.accept(false, code, false);
        benchmark::DoNotOptimize(down);
        benchmark::DoNotOptimize(up);
        code = code == 50 ? tapwell::keycode::a : code + 1;
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_KeyEventFilterPressAndRelease);

void BM_KeyEventFilterWithKeysHeld(benchmark::State& state) {
    tapwell::KeyEventFilter filter;
    for (std::int64_t held = 2; held < 8; ++held) {
        filter.accept(true, held, false);  // a few keys held down, as in fast typing
    }
    for (auto _ : state) {
        auto down = filter.accept(true, tapwell::keycode::k, false);
        auto up = filter.accept(false, tapwell::keycode::k, false);
        benchmark::DoNotOptimize(down);
        benchmark::DoNotOptimize(up);
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_KeyEventFilterWithKeysHeld);

}  // namespace

#include <filesystem>
#include <random>

#include "core/FileSystem.h"
#include "core/UserDefaults.h"

namespace {

// A private folder under the system temporary folder, removed afterwards.
class BenchFolder {
public:
    BenchFolder() {
        path_ = std::filesystem::temp_directory_path() /
                ("tapwell-bench-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(path_);
    }
    ~BenchFolder() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// What a dragged volume slider costs the main thread per step.
void BM_UserDefaultsSet(benchmark::State& state) {
    BenchFolder folder;
    tapwell::UserDefaults store(folder.path() / "defaults.json");
    double volume = 0;
    for (auto _ : state) {
        volume = volume >= 1 ? 0 : volume + 0.001;
        benchmark::DoNotOptimize(store.set("typingVolume", volume));
    }
}
BENCHMARK(BM_UserDefaultsSet);

// A slider dragged across its range: 1,000 sets, then the store goes (which flushes). The
// counter gives the file writes per burst.
void BM_UserDefaultsBurstOf1000(benchmark::State& state) {
    BenchFolder folder;
    std::int64_t writes = 0;
    tapwell::UserDefaults::Options options;
    options.writeFile = [&writes](const std::filesystem::path& path, std::string_view text,
                                  std::filesystem::perms perms) {
        ++writes;
        return tapwell::writeFileAtomically(path, text, perms);
    };
    for (auto _ : state) {
        tapwell::UserDefaults store(folder.path() / "defaults.json", options);
        for (int i = 0; i < 1000; ++i) {
            store.set("typingVolume", i / 1000.0);
        }
    }
    state.counters["writes/burst"] =
        benchmark::Counter(static_cast<double>(writes), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_UserDefaultsBurstOf1000)->Unit(benchmark::kMillisecond);

}  // namespace

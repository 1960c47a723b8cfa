// Costs of the statistics store: the key path's hand-over (`record` on the caller's thread), the
// work one key-down costs on the stats queue (median and 99th percentile of a batch's mean), and
// one save of a dirty day (encode, atomic write with fsync, rename).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/Calendar.h"
#include "core/Clock.h"
#include "core/Uuid.h"
#include "stats/StatsLedger.h"
#include "stats/StatsStore.h"

namespace {

using namespace tapwell;
using Steady = std::chrono::steady_clock;

std::filesystem::path freshFolder(const char* name) {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("tapwell-bench-" + std::string(name) + "-" + makeUuid());
    std::filesystem::remove_all(folder);
    return folder;
}

double percentile(std::vector<double> samples, double p) {
    if (samples.empty()) {
        return 0.0;
    }
    std::sort(samples.begin(), samples.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(samples.size() - 1));
    return samples[index];
}

double processCpuNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

KeyActivity keyNow() {
    return KeyActivity{KeyKind::normal, true, SystemClock::shared().uptime()};
}

// What the key monitor's thread pays per key: copying the activity into a queued block.
void BM_RecordHandOver(benchmark::State& state) {
    const auto folder = freshFolder("handover");
    StatsStore store(SystemClock::shared(), folder);
    store.start();
    std::vector<double> samples;
    samples.reserve(1 << 20);
    std::size_t since = 0;
    for (auto _ : state) {
        const KeyActivity activity = keyNow();
        const Date now = SystemClock::shared().now();
        const auto begin = Steady::now();
        store.record(activity, now);
        samples.push_back(std::chrono::duration<double, std::nano>(Steady::now() - begin).count());
        // Keep the backlog bounded so that the figure is the hand-over, not memory growth.
        if (++since == 256) {
            state.PauseTiming();
            store.sync();
            since = 0;
            state.ResumeTiming();
        }
    }
    store.stop();
    state.counters["median_ns"] = percentile(samples, 0.5);
    state.counters["p99_ns"] = percentile(samples, 0.99);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_RecordHandOver);

// The queue's own cost per key-down: a batch of key-downs handed over quietly is counted by the
// next call that runs on the queue, so the time of that call over the batch is the work of one
// record (calendar, loading check, ledger). Measured in wall time and in the process's CPU time,
// which a loaded machine does not inflate. items_per_second covers hand-over and counting.
void BM_RecordOnQueue(benchmark::State& state) {
    const auto folder = freshFolder("queue");
    StatsStore store(SystemClock::shared(), folder);
    store.start();
    store.sync();
    std::vector<double> samples;
    std::vector<double> cpuSamples;
    constexpr int batch = 2000;
    for (auto _ : state) {
        for (int i = 0; i < batch; ++i) {
            store.record(keyNow(), SystemClock::shared().now());
        }
        const auto begin = Steady::now();
        const double cpuBegin = processCpuNanoseconds();
        store.sync();
        samples.push_back(std::chrono::duration<double, std::nano>(Steady::now() - begin).count() /
                          batch);
        cpuSamples.push_back((processCpuNanoseconds() - cpuBegin) / batch);
    }
    store.stop();
    state.SetItemsProcessed(state.iterations() * batch);
    state.counters["median_ns"] = percentile(samples, 0.5);
    state.counters["p99_ns"] = percentile(samples, 0.99);
    state.counters["cpu_median_ns"] = percentile(cpuSamples, 0.5);
    state.counters["cpu_p99_ns"] = percentile(cpuSamples, 0.99);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_RecordOnQueue)->Unit(benchmark::kMillisecond);

// One save of one dirty day: `suspend()` saves synchronously, so its duration with one dirty day
// is the save plus a queue hand-over.
void BM_SaveOneDirtyDay(benchmark::State& state) {
    const auto folder = freshFolder("save");
    StatsStore store(SystemClock::shared(), folder);
    store.start();
    std::vector<double> samples;
    for (auto _ : state) {
        store.resume();
        store.record(keyNow(), SystemClock::shared().now());
        store.sync();
        const auto begin = Steady::now();
        store.suspend();
        const double elapsed = std::chrono::duration<double>(Steady::now() - begin).count();
        state.SetIterationTime(elapsed);
        samples.push_back(elapsed * 1e6);
    }
    store.stop();
    state.counters["median_us"] = percentile(samples, 0.5);
    state.counters["p99_us"] = percentile(samples, 0.99);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SaveOneDirtyDay)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

namespace {

// The pieces of one record on the queue, measured alone on this thread.
void BM_CalendarOfCurrentZone(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(SystemClock::shared().calendar());
    }
}
BENCHMARK(BM_CalendarOfCurrentZone);

void BM_LedgerRecord(benchmark::State& state) {
    const Calendar calendar = SystemClock::shared().calendar();
    StatsLedger ledger;
    Date now = SystemClock::shared().now();
    double uptime = 1000.0;
    for (auto _ : state) {
        now = now + 0.01;
        uptime += 0.01;
        benchmark::DoNotOptimize(ledger.record(now, uptime, calendar));
    }
}
BENCHMARK(BM_LedgerRecord);

}  // namespace

namespace {

void BM_CalendarCopy(benchmark::State& state) {
    const Calendar calendar = SystemClock::shared().calendar();
    for (auto _ : state) {
        Calendar copy = calendar;
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_CalendarCopy);

void BM_DayID(benchmark::State& state) {
    const Calendar calendar = SystemClock::shared().calendar();
    Date now = SystemClock::shared().now();
    for (auto _ : state) {
        now = now + 0.01;
        benchmark::DoNotOptimize(calendar.dayID(now));
    }
}
BENCHMARK(BM_DayID);

}  // namespace

namespace {

// A publication read on the caller's thread (the idle queue runs sync work in place).
void BM_CurrentSnapshot(benchmark::State& state) {
    const auto folder = freshFolder("current");
    StatsStore store(SystemClock::shared(), folder);
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.current());
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_CurrentSnapshot);

}  // namespace

// Sound benchmarks: the cost of `play()` on the key path, the render cost per period, decoding of
// the built-in themes and of one alert, the latency from `play()` returning to the first rendered
// frame of that sound on the real-time null output, and the same for an alert heard for the
// first time in a theme's selection (decoded then) and again (already decoded).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <expected>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "core/ResourceLocator.h"
#include "platform/fallback/NullAudioOutput.h"
#include "sound/Mixer.h"
#include "sound/OfflineAudioOutput.h"
#include "sound/PreparedTheme.h"
#include "sound/SoundEngine.h"
#include "sound/WavFileWriter.h"
#include "themes/ThemeManager.h"

namespace tapwell {
namespace {

using SteadyClock = std::chrono::steady_clock;

// A theme of short clicks in a fresh temporary folder.
LoadedTheme benchTheme() {
    static const LoadedTheme theme = [] {
        const auto root = std::filesystem::temp_directory_path() /
                          ("tapwell-bench-" + std::to_string(::getpid()));
        const auto folder = root / "bench";
        std::filesystem::create_directories(folder);
        Theme manifest;
        manifest.schemaVersion = 1;
        manifest.id = "bench";
        auto click = [&](const std::string& name, float frequency) {
            std::vector<float> samples(2400);
            for (std::size_t i = 0; i < samples.size(); ++i) {
                const float t = static_cast<float>(i) / pcmSampleRate;
                samples[i] = 0.3f * std::sin(6.2831853f * frequency * t) * std::exp(-t * 80.0f);
            }
            auto writer = WavFileWriter::create(folder / name);
            (void)(*writer)->write(samples.data(), samples.size());
            return name;
        };
        for (int i = 0; i < 6; ++i) {
            manifest.sounds.keyDown.push_back(
                click("d" + std::to_string(i) + ".wav", 900.0f + 50.0f * i));
        }
        manifest.sounds.keyUp = {click("u0.wav", 1500.0f), click("u1.wav", 1550.0f)};
        manifest.sounds.space = click("space.wav", 500.0f);
        manifest.sounds.enter = click("enter.wav", 600.0f);
        manifest.sounds.backspace = click("backspace.wav", 700.0f);
        manifest.sounds.alerts["rankUp"] = click("rankup.wav", 1200.0f);
        manifest.mix = {-3.0f, 0.0f, -6.0f};
        return LoadedTheme{manifest, folder};
    }();
    return theme;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    return values[index];
}

// play() on an idle queue, as the key monitor thread calls it. The command queue is drained by
// rendering between calls (outside the timing), as the audio thread would.
void BM_Play(benchmark::State& state) {
    auto output = std::make_shared<OfflineAudioOutput>(256);
    SoundEngine::Dependencies dependencies;
    dependencies.output = output;
    auto engine = std::move(*SoundEngine::create({benchTheme()}, "bench", std::move(dependencies)));
    std::vector<double> micros;
    micros.reserve(200000);
    std::size_t i = 0;
    for (auto _ : state) {
        const KeyActivity activity{i % 5 == 0 ? KeyKind::space : KeyKind::normal, i % 2 == 0, 0.0};
        const auto start = SteadyClock::now();
        engine->play(activity);
        const auto end = SteadyClock::now();
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        if (++i % 32 == 0) {
            state.PauseTiming();
            output->renderDiscarding(256);
            state.ResumeTiming();
        }
    }
    state.counters["median_us"] = percentile(micros, 0.5);
    state.counters["p99_us"] = percentile(micros, 0.99);
    state.counters["max_us"] = percentile(micros, 1.0);
}
BENCHMARK(BM_Play)->Iterations(100000)->Unit(benchmark::kMicrosecond);

// One 256-frame period of the mixer with N voices sounding (looped so they never end).
void BM_RenderPeriod(benchmark::State& state) {
    Mixer mixer;
    mixer.setBusGains(0.7f, 0.85f, 0.3f);
    auto buffer = std::make_shared<PcmBuffer>();
    buffer->samples.assign(48000, PcmBuffer::quantize(0.01f));
    const auto voices = static_cast<std::size_t>(state.range(0));
    for (std::size_t v = 0; v < voices; ++v) {
        mixer.loop(v, buffer, 1.0f);
    }
    std::vector<float> out(256);
    mixer.render(out.data(), out.size());
    const auto start = SteadyClock::now();
    for (auto _ : state) {
        mixer.render(out.data(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
    const double elapsed =
        std::chrono::duration<double, std::nano>(SteadyClock::now() - start).count();
    const double periodNanos = 256.0 * 1e9 / pcmSampleRate;
    state.counters["period_share_pct"] =
        elapsed / static_cast<double>(state.iterations()) / periodNanos * 100.0;
}
BENCHMARK(BM_RenderPeriod)->Arg(0)->Arg(4)->Arg(19)->Unit(benchmark::kMicrosecond);

// Typing at 10 keys a second into a stream that queues a quarter second at the server and writes
// each new sound over the queue, as the server output does on PulseAudio: per key, a press and a
// release 50 ms apart, each rewinding to just ahead of the frame playing and rendering the queue
// again to its end; between them the queue is topped up as the server asks (every 1/12 s).
// Reports the render work per second of typing as a share of one core.
void BM_TypingOverAQueue(benchmark::State& state) {
    constexpr std::size_t queue = pcmSampleRate / 4;
    constexpr std::size_t request = pcmSampleRate / 12;
    constexpr std::size_t margin = 3 * pcmSampleRate / 1000;
    Mixer mixer;
    mixer.setBusGains(0.7f, 0.85f, 0.3f);
    mixer.setRewindWindow(queue + request);
    auto click = std::make_shared<PcmBuffer>();
    click->samples.resize(pcmSampleRate * 8 / 100);  // 80 ms, about a key's click
    for (std::size_t i = 0; i < click->samples.size(); ++i) {
        click->samples[i] = PcmBuffer::quantize(0.3f * std::sin(0.13f * static_cast<float>(i)));
    }
    std::vector<float> out(queue + request);
    std::uint64_t playing = 0;
    std::size_t voice = 0;
    auto topUp = [&] {
        while (mixer.position() < playing + queue) {
            mixer.renderAhead(out.data(), request);
            mixer.commit(playing);
        }
    };
    auto key = [&](float gain) {
        mixer.play(Mixer::typingVoice(voice), click, gain);
        voice = (voice + 1) % Mixer::typingVoiceCount;
        const std::uint64_t end = mixer.position();
        const std::uint64_t from = mixer.rewindTo(playing + margin);
        mixer.render(out.data(), static_cast<std::size_t>(end - from));
        mixer.commit(playing);
    };
    topUp();
    std::size_t keys = 0;
    const auto start = SteadyClock::now();
    for (auto _ : state) {
        key(1.0f);  // press
        playing += pcmSampleRate / 20;
        topUp();
        key(0.6f);  // release
        playing += pcmSampleRate / 20;
        topUp();
        benchmark::DoNotOptimize(out.data());
        ++keys;
    }
    const double elapsed =
        std::chrono::duration<double, std::nano>(SteadyClock::now() - start).count();
    const double typedNanos = static_cast<double>(keys) * 1e8;  // 100 ms a key
    state.counters["core_share_pct"] = elapsed / typedNanos * 100.0;
}
BENCHMARK(BM_TypingOverAQueue)->Unit(benchmark::kMicrosecond);

// The usable built-in themes found in the resource folder, or a reason to skip.
std::expected<std::vector<LoadedTheme>, std::string> builtInThemes() {
    const auto resources = ResourceLocator::find();
    if (!resources) {
        return std::unexpected("no resource folder (set TAPWELL_RESOURCE_DIR)");
    }
    auto catalogue = ThemeManager::create(*resources);
    std::vector<LoadedTheme> loaded;
    if (catalogue) {
        for (const ThemeEntry& entry : catalogue->entries) {
            if (entry.loaded) {
                loaded.push_back(*entry.loaded);
            }
        }
    }
    if (loaded.empty()) {
        return std::unexpected("no usable built-in theme in the resource folder");
    }
    return loaded;
}

// Asks the kernel to forget the cached pages of a file (they are clean, so nothing is lost).
void evictFromPageCache(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

// Decoding every built-in theme found in the resource folder.
void BM_DecodeBuiltInThemes(benchmark::State& state) {
    const auto loaded = builtInThemes();
    if (!loaded) {
        state.SkipWithError(loaded.error().c_str());
        return;
    }
    std::size_t bytes = 0;
    std::size_t themes = 0;
    for (auto _ : state) {
        bytes = 0;
        themes = 0;
        for (const LoadedTheme& theme : *loaded) {
            auto prepared = PreparedTheme::prepare(theme);
            if (prepared) {
                bytes += prepared->sampleBytes();
                ++themes;
            }
        }
    }
    state.counters["themes"] = static_cast<double>(themes);
    state.counters["sample_MiB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
}
BENCHMARK(BM_DecodeBuiltInThemes)->Unit(benchmark::kMillisecond)->Iterations(3);

// Decoding one alert of a built-in theme, as the engine's loader does when it is first asked
// for: every alert file of every theme in turn. Warm (range 0): the files are in the page cache
// after the first round, as after the catalogue read their headers at start. Cold (1): each file
// is dropped from the page cache first, as after a reboot (the figure depends on the disk).
void BM_DecodeOneAlert(benchmark::State& state) {
    const auto loaded = builtInThemes();
    if (!loaded) {
        state.SkipWithError(loaded.error().c_str());
        return;
    }
    std::vector<std::pair<PreparedTheme, std::string>> files;
    for (const LoadedTheme& theme : *loaded) {
        for (const std::string& name : PreparedTheme::alertFiles(theme.theme.sounds)) {
            files.emplace_back(PreparedTheme{theme.theme, theme.directory, {}}, name);
        }
    }
    std::vector<double> millis;
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& [theme, name] = files[i++ % files.size()];
        if (state.range(0) != 0) {
            state.PauseTiming();
            evictFromPageCache(theme.directory / name);
            state.ResumeTiming();
        }
        const auto start = SteadyClock::now();
        auto buffer = theme.decode(name);
        millis.push_back(
            std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count());
        benchmark::DoNotOptimize(buffer);
    }
    state.counters["files"] = static_cast<double>(files.size());
    state.counters["median_ms"] = percentile(millis, 0.5);
    state.counters["p90_ms"] = percentile(millis, 0.9);
    state.counters["max_ms"] = percentile(millis, 1.0);
}
BENCHMARK(BM_DecodeOneAlert)
    ->ArgName("cold")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(360)
    ->Unit(benchmark::kMillisecond);

// Marks the time of the first non-silent frame the output pulls.
class TimedOutput final : public AudioOutput {
  public:
    explicit TimedOutput(std::size_t period) : inner_(period) {}

    std::expected<void, Error> start(RenderSource& source) override {
        probe_.source = &source;
        return inner_.start(probe_);
    }
    void stop() override { inner_.stop(); }
    bool isRunning() const override { return inner_.isRunning(); }
    std::size_t periodFrames() const override { return inner_.periodFrames(); }
    void setConfigurationChangeHandler(std::function<void()>) override {}
    std::optional<AudioDevice> currentDevice() const override { return std::nullopt; }
    std::expected<void, Error> setCurrentDevice(const std::optional<AudioDevice>&) override {
        return {};
    }

    std::atomic<std::int64_t>& soundedAt() { return probe_.soundedAt; }

  private:
    struct Probe final : RenderSource {
        void render(float* mono, std::size_t frames) noexcept override {
            source->render(mono, frames);
            const bool sounding =
                std::any_of(mono, mono + frames, [](float sample) { return sample != 0.0f; });
            if (sounding && soundedAt.load(std::memory_order_relaxed) == 0) {
                soundedAt.store(SteadyClock::now().time_since_epoch().count());
            }
        }
        RenderSource* source = nullptr;
        std::atomic<std::int64_t> soundedAt{0};
    };
    Probe probe_;
    NullAudioOutput inner_;
};

// Runs `start` and returns the milliseconds from its return to the first sounding frame.
template <typename Start>
double millisToFirstFrame(TimedOutput& output, Start start) {
    output.soundedAt().store(0);
    start();
    const auto returned = SteadyClock::now().time_since_epoch().count();
    std::int64_t sounded = 0;
    while ((sounded = output.soundedAt().load()) == 0) {
        std::this_thread::yield();
    }
    return static_cast<double>(sounded - returned) / 1e6;
}

void reportLatency(benchmark::State& state, std::size_t period, const std::vector<double>& millis) {
    state.counters["period_ms"] = static_cast<double>(period) * 1000.0 / pcmSampleRate;
    state.counters["median_ms"] = percentile(millis, 0.5);
    state.counters["p90_ms"] = percentile(millis, 0.9);
    state.counters["p99_ms"] = percentile(millis, 0.99);
    state.counters["max_ms"] = percentile(millis, 1.0);
}

void BM_PlayToFirstFrameLatency(benchmark::State& state) {
    const auto period = static_cast<std::size_t>(state.range(0));
    auto output = std::make_shared<TimedOutput>(period);
    SoundEngine::Dependencies dependencies;
    dependencies.output = output;
    auto engine = std::move(*SoundEngine::create({benchTheme()}, "bench", std::move(dependencies)));
    std::vector<double> millis;
    std::size_t i = 0;
    for (auto _ : state) {
        // Let the previous click end, and start at a random point of the period.
        std::this_thread::sleep_for(std::chrono::microseconds(60000 + (i++ * 7919) % 5000));
        millis.push_back(millisToFirstFrame(*output, [&] {
            engine->play({KeyKind::space, true, 0.0});
        }));
    }
    reportLatency(state, period, millis);
}
BENCHMARK(BM_PlayToFirstFrameLatency)
    ->Arg(128)
    ->Arg(256)
    ->Iterations(150)
    ->Unit(benchmark::kMillisecond);

// From `playAlert("capsOn")` returning to its first rendered frame on the real-time null output,
// with the built-in themes. First (range 1 = 1): the alert was not asked for yet in this
// selection, so the time includes the hop to the loader, decoding the file and the hop back.
// Again (0): the sample is decoded already. Each round selects the next theme, which stops every
// voice, and lets the output fall silent.
void BM_AlertToFirstFrameLatency(benchmark::State& state) {
    const auto loaded = builtInThemes();
    if (!loaded) {
        state.SkipWithError(loaded.error().c_str());
        return;
    }
    const auto period = static_cast<std::size_t>(state.range(0));
    const bool first = state.range(1) != 0;
    auto output = std::make_shared<TimedOutput>(period);
    SoundEngine::Dependencies dependencies;
    dependencies.output = output;
    auto engine = std::move(*SoundEngine::create(*loaded, std::nullopt, std::move(dependencies)));
    engine->prepareOtherThemes();
    const auto ids = engine->availableIDs();
    const std::vector<std::string> order(ids.begin(), ids.end());
    std::vector<double> millis;
    std::size_t i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // Every theme in turn, so that both figures come from the same samples.
        const std::string& id = order[i++ % order.size()];
        engine->selectTheme(id);  // drops the alerts of the theme before
        if (!first) {
            engine->playAlert("capsOn");
            engine->waitUntilIdle();
            engine->selectTheme(id);  // stops the voices, keeps the samples
        }
        engine->waitUntilIdle();
        std::this_thread::sleep_for(std::chrono::milliseconds(30 + (i * 7919) % 5));
        state.ResumeTiming();
        millis.push_back(millisToFirstFrame(*output, [&] { engine->playAlert("capsOn"); }));
    }
    reportLatency(state, period, millis);
}
BENCHMARK(BM_AlertToFirstFrameLatency)
    ->ArgNames({"period", "first"})
    ->Args({128, 1})
    ->Args({128, 0})
    ->Args({256, 1})
    ->Args({256, 0})
    ->Iterations(60)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tapwell

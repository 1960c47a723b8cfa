// Measures how long a sound takes from the engine's command to the sound server, on the device
// output against the session's (or PULSE_SERVER's) server: for sounds played while the output is
// asleep (the first key after a pause) and while it is awake (typing).
//
//   sound_wake_latency [asleep|awake|wav] [COUNT] [PERIOD_FRAMES] [pulse]
//
// On PipeWire it plays through PipeWire's own stream, as the program does; `pulse` plays through
// its pulse server instead.
//
// wav: the real-time WAV output (to a file in /tmp, removed after), typing, without a server;
// only the first delay applies.
//
// For each sound it prints two delays after the command: until the output's render call that
// carries the sound's first frame (inside this program), and until that frame arrives back from
// the sink's monitor through a low-latency capture stream. The second is when the server mixed the
// frame into the sink (plus the capture's own buffering, so at most that); a real device plays it
// after its own hardware buffer, which is the same for every program. Prints median, p90 and max.

#include <pulse/context.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/sound/PipeWireOutput.h"
#include "platform/linux/sound/PulseAudioOutput.h"
#include "platform/linux/sound/PulseOutputDevices.h"
#include "platform/linux/sound/WavRealtimeAudioOutput.h"
#include "sound/Mixer.h"

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t nowNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// Forwards to the mixer and notes when a period first carries sound.
class TimedSource final : public tapwell::RenderSource {
  public:
    explicit TimedSource(tapwell::Mixer& mixer) : mixer_(mixer) {}
    void render(float* mono, std::size_t frames) noexcept override {
        mixer_.render(mono, frames);
        if (firstSound.load() == 0 &&
            std::any_of(mono, mono + frames, [](float s) { return s != 0.0f; })) {
            firstSound.store(nowNanos());
        }
    }
    bool isQuiet() const noexcept override { return mixer_.isQuiet(); }
    bool armWake(tapwell::RenderWaker& waker) noexcept override { return mixer_.armWake(waker); }
    void disarmWake() noexcept override { mixer_.disarmWake(); }
    // Writing ahead and over the queue, as the engine's mixer does; a sound's first frame is
    // always in a `render`.
    std::size_t setRewindWindow(std::size_t frames) noexcept override {
        return mixer_.setRewindWindow(frames);
    }
    std::uint64_t position() const noexcept override { return mixer_.position(); }
    bool hasCommands() const noexcept override { return mixer_.hasCommands(); }
    void renderAhead(float* mono, std::size_t frames) noexcept override {
        mixer_.renderAhead(mono, frames);
    }
    std::uint64_t rewindTo(std::uint64_t frame) noexcept override { return mixer_.rewindTo(frame); }
    void commit(std::uint64_t frame) noexcept override { mixer_.commit(frame); }

    std::atomic<std::int64_t> firstSound{0};

  private:
    tapwell::Mixer& mixer_;
};

// Records the sink's monitor and notes when a sample first rises above the noise floor.
struct MonitorCapture {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    std::atomic<std::int64_t> firstSound{0};
    std::atomic<std::size_t> loudFrames{0};  // of every sound since the count was reset

    static void read(pa_stream* stream, std::size_t, void* userdata) {
        auto* self = static_cast<MonitorCapture*>(userdata);
        const std::int64_t arrived = nowNanos();
        const void* data = nullptr;
        std::size_t bytes = 0;
        while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &data, &bytes) >= 0 &&
               bytes > 0) {
            if (data != nullptr) {
                const auto* samples = static_cast<const float*>(data);
                const std::size_t count = bytes / sizeof(float);
                self->loudFrames += static_cast<std::size_t>(std::count_if(
                    samples, samples + count, [](float s) { return std::abs(s) > 0.01f; }));
                for (std::size_t i = 0; i < count && self->firstSound.load() == 0; ++i) {
                    if (std::abs(samples[i]) > 0.01f) {
                        // Back-date to the frame's place in the fragment.
                        const auto after = static_cast<std::int64_t>(count - i);
                        self->firstSound.store(arrived - after * 1000000000 / 48000);
                        break;
                    }
                }
            }
            pa_stream_drop(stream);
        }
    }

    bool open(const std::string& source) {
        loop = pa_threaded_mainloop_new();
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), "latency-monitor");
        pa_threaded_mainloop_start(loop);
        pa_threaded_mainloop_lock(loop);
        pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
        while (pa_context_get_state(context) != PA_CONTEXT_READY) {
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
                pa_threaded_mainloop_unlock(loop);
                return false;
            }
            pa_threaded_mainloop_unlock(loop);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            pa_threaded_mainloop_lock(loop);
        }
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, 48000, 1};
        stream = pa_stream_new(context, "monitor", &spec, nullptr);
        pa_stream_set_read_callback(stream, &MonitorCapture::read, this);
        pa_buffer_attr attributes{};
        attributes.maxlength = static_cast<std::uint32_t>(-1);
        attributes.fragsize = 32 * sizeof(float);
        pa_stream_connect_record(stream, source.c_str(), &attributes, PA_STREAM_ADJUST_LATENCY);
        pa_threaded_mainloop_unlock(loop);
        return true;
    }

    ~MonitorCapture() {
        if (loop != nullptr) {
            pa_threaded_mainloop_stop(loop);
        }
        if (stream != nullptr) {
            pa_stream_unref(stream);
        }
        if (context != nullptr) {
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        if (loop != nullptr) {
            pa_threaded_mainloop_free(loop);
        }
    }
};

void report(const char* what, std::vector<double> ms) {
    if (ms.empty()) {
        std::printf("%s: no samples\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) {
        return ms[std::min(ms.size() - 1, static_cast<std::size_t>(q * (ms.size() - 1) + 0.5))];
    };
    std::printf("%s: median %.2f ms, p90 %.2f ms, max %.2f ms (%zu sounds)\n", what, at(0.5),
                at(0.9), ms.back(), ms.size());
}

}  // namespace

// Command to render on the real-time WAV output while typing.
int measureWav(int count, std::size_t period) {
    tapwell::Mixer mixer;
    mixer.setBusGains(1.0f, 1.0f, 1.0f);
    TimedSource source(mixer);
    const std::string file = "/tmp/sound_wake_latency." + std::to_string(::getpid()) + ".wav";
    tapwell::WavRealtimeAudioOutput output(file, period);
    if (auto started = output.start(source); !started) {
        std::fprintf(stderr, "cannot start: %s\n", started.error().description.c_str());
        return 1;
    }
    auto click = std::make_shared<tapwell::PcmBuffer>();
    click->samples.assign(480, tapwell::PcmBuffer::quantize(0.5f));
    std::vector<double> rendered;
    for (int i = -1; i < count; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(100000 + (i * 7919) % 50000));
        source.firstSound.store(0);
        const std::int64_t sent = nowNanos();
        mixer.play(tapwell::Mixer::typingVoice(0), click, 1.0f);
        while (source.firstSound.load() == 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (i >= 0) {
            rendered.push_back(static_cast<double>(source.firstSound.load() - sent) / 1e6);
        }
    }
    output.stop();
    std::remove(file.c_str());
    std::printf("typing on the real-time WAV output, period %zu\n", period);
    report("command to render", rendered);
    return 0;
}

template <typename Output>
int measureServer(Output& output, const std::string& sinkName, bool asleep, int count,
                  std::size_t period) {
    MonitorCapture monitor;
    if (!monitor.open(sinkName + ".monitor")) {
        std::fprintf(stderr, "cannot record %s.monitor\n", sinkName.c_str());
        return 1;
    }
    tapwell::Mixer mixer;
    mixer.setBusGains(1.0f, 1.0f, 1.0f);
    TimedSource source(mixer);
    if (auto started = output.start(source); !started) {
        std::fprintf(stderr, "cannot start: %s\n", started.error().description.c_str());
        return 1;
    }
    auto click = std::make_shared<tapwell::PcmBuffer>();
    click->samples.assign(480, tapwell::PcmBuffer::quantize(0.5f));  // 10 ms

    std::vector<double> rendered;
    std::vector<double> heard;
    // Frames of each click that reached the sink: short of the click's 480 when the server had
    // already taken the frames its start was written over.
    std::vector<double> whole;
    // The first sound only warms up the streams and is not counted.
    for (int i = -1; i < count; ++i) {
        if (asleep) {
            while (!output.isAsleep()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        } else {
            // Keys 100-150 ms apart keep the output awake; the offset varies the phase.
            std::this_thread::sleep_for(std::chrono::microseconds(100000 + (i * 7919) % 50000));
        }
        // What came since the last sound began is all of it: the sounds are far apart.
        if (const auto frames = monitor.loudFrames.exchange(0); i >= 1) {
            whole.push_back(static_cast<double>(frames));
        }
        source.firstSound.store(0);
        monitor.firstSound.store(0);
        const std::int64_t sent = nowNanos();
        mixer.play(tapwell::Mixer::typingVoice(0), click, 1.0f);
        const auto deadline = Clock::now() + std::chrono::seconds(2);
        while ((source.firstSound.load() == 0 || monitor.firstSound.load() == 0) &&
               Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (i < 0) {
            continue;
        }
        if (source.firstSound.load() != 0) {
            rendered.push_back(static_cast<double>(source.firstSound.load() - sent) / 1e6);
        }
        if (monitor.firstSound.load() != 0) {
            heard.push_back(static_cast<double>(monitor.firstSound.load() - sent) / 1e6);
        }
    }
    std::printf("%s, period %zu, %llu wakes\n", asleep ? "first sound after a pause" : "typing",
                period, static_cast<unsigned long long>(output.wakeCount()));
    report("command to render", rendered);
    report("command to monitor (upper bound)", heard);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    whole.push_back(static_cast<double>(monitor.loudFrames.load()));
    std::sort(whole.begin(), whole.end());
    std::printf("frames of each 480-frame click at the monitor: min %.0f, max %.0f\n",
                whole.front(), whole.back());
    output.stop();
    return 0;
}

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "asleep";
    const int count = argc > 2 ? std::atoi(argv[2]) : 20;
    const std::size_t period = argc > 3 ? static_cast<std::size_t>(std::atoi(argv[3])) : 128;
    const bool throughPulse = argc > 4 && std::string(argv[4]) == "pulse";
    const bool asleep = mode == "asleep";
    if (mode == "wav") {
        return measureWav(count, period);
    }

    tapwell::PulseOutputDevices devices;
    auto sink = devices.defaultOutputDevice();
    if (!sink) {
        std::fprintf(stderr, "no sound server: %s\n", sink.error().description.c_str());
        return 1;
    }
    auto server = devices.serverName();
    if (!throughPulse && server && tapwell::namesPipeWire(*server)) {
        std::printf("PipeWire's own stream\n");
        tapwell::PipeWireOutput output(period);
        return measureServer(output, sink->id, asleep, count, period);
    }
    std::printf("the pulse protocol\n");
    tapwell::PulseAudioOutput output(period);
    return measureServer(output, sink->id, asleep, count, period);
}

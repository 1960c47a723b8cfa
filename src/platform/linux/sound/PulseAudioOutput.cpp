#include "platform/linux/sound/PulseAudioOutput.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string_view>
#include <vector>

#include "core/Log.h"
#include "platform/linux/sound/PulseOutputDevices.h"
#include "sound/PcmBuffer.h"
#include "sound/SilenceTracker.h"
#include "sound/WriteAheadPlan.h"

namespace tapwell {

namespace {

Error pulseError(int code) {
    return Error{"pulse", code, pa_strerror(code)};
}

// Periods queued at the server ahead of what it plays: every sound waits behind them, and the fewer
// there are, the more often the server and this program wake up to move them (at 128 frames, two
// periods cost about twice the CPU of four; see bench/sound-server-cpu.sh).
constexpr std::uint32_t bufferedPeriods = 3;
// The latency a corked stream asks for.
constexpr double idleLatencySeconds = 2.0;

// Where the server takes back frames it has not played yet (PulseAudio rewinds its sinks), the
// stream queues this far ahead, and the server and this program wake only a few times a second
// while sounds play; a new sound is written over the queue from just ahead of the frame playing.
constexpr std::size_t writeAheadFrames = pcmSampleRate / 4;
constexpr std::size_t writeAheadRequestFrames = pcmSampleRate / 12;
// How far ahead of the frame playing a rewrite starts: the write's way to the server and into its
// sink, which takes back only what it has not played (a sink on a sound card keeps a little more).
// What arrives later than this loses the start of the sound, so on a loaded machine 2 ms was short.
constexpr std::size_t rewriteMarginFrames = 3 * pcmSampleRate / 1000;
// How old a timing report may be and still place a new sound without asking the server again.
// While the stream plays, libpulse asks for one at least every 1.5 s; an older one means the
// server stopped answering them, and the next command asks.
constexpr pa_usec_t trustedReportAgeUsec = 2 * PA_USEC_PER_SEC;

// PipeWire's pulse server keeps what a stream writes in a queue of its own and hands its graph one
// quantum from it each cycle. What is still in that queue can be written over, so the stream
// writes ahead there too; a rewrite starts past the quantum the graph may take before the write
// arrives. The server reports no delay for its graph, so the quantum is learnt from the steps its
// read index moves in (`GraphQuantum`); until it has moved twice, it is taken as PipeWire's
// default quantum.
constexpr std::size_t assumedGraphQuantum = 1024;
constexpr std::size_t largestGraphQuantum = 8192;  // PipeWire's limit

// PipeWire's pulse server runs its graph at the latency a stream asks for, which for a stream that
// adjusts its latency it takes as (tlength - 2 * minreq) / 2. Asking for requests of
// `writeAheadRequestFrames` with a graph latency of one period gives this target length, of which
// the server keeps one period back as the graph's share.
constexpr std::size_t graphTargetFrames(std::size_t periodFrames) {
    return 2 * writeAheadRequestFrames + 2 * periodFrames;
}

// Lets go of an operation nobody waits for; none when the stream or the connection failed, which
// its state callback reports.
void release(pa_operation* operation) {
    if (operation != nullptr) {
        pa_operation_unref(operation);
    }
}

}  // namespace

// Everything one start opens, touched on the main loop's thread or with its lock held.
struct PulseAudioOutput::Session {
    PulseAudioOutput* owner = nullptr;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    pa_io_event* wakeEvent = nullptr;
    RenderSource* source = nullptr;
    std::vector<float> period;
    SilenceTracker silence{SilenceTracker::defaultIdleFrames};
    pa_buffer_attr attributes{};  // while playing
    // Writing ahead and over the queue (see writeAheadFrames). Frame `base` of the source is the
    // stream's first frame.
    bool rewrites = false;
    bool graph = false;  // PipeWire's pulse server (see assumedGraphQuantum)
    GraphQuantum quantum{assumedGraphQuantum, 1, largestGraphQuantum};  // set at start
    std::uint64_t base = 0;
    std::uint64_t writeIndex = 0;  // the stream's frame the next write lands on, from its start
    WriteAheadPlan plan{rewriteMarginFrames};
    bool awaitingTiming = false;  // commands wait for the server to say which frame plays
    bool corked = false;
    bool pausedReadKnown = false;  // the timing info says where a corked graph stream stopped
    bool stopping = false;
    bool followsDefault = true;
    bool defaultKnown = false;
    std::string defaultSink;
    std::string serverName;
    bool serverAnswered = false;

    ~Session() {
        if (loop != nullptr) {
            pa_threaded_mainloop_lock(loop);
            stopping = true;
            if (stream != nullptr) {
                pa_stream_set_write_callback(stream, nullptr, nullptr);
                pa_stream_set_state_callback(stream, nullptr, nullptr);
                pa_stream_disconnect(stream);
                pa_stream_unref(stream);
            }
            if (wakeEvent != nullptr) {
                pa_threaded_mainloop_get_api(loop)->io_free(wakeEvent);
            }
            if (context != nullptr) {
                pa_context_set_state_callback(context, nullptr, nullptr);
                pa_context_set_subscribe_callback(context, nullptr, nullptr);
                pa_context_disconnect(context);
                pa_context_unref(context);
            }
            pa_threaded_mainloop_unlock(loop);
            pa_threaded_mainloop_stop(loop);
            pa_threaded_mainloop_free(loop);
        }
    }

    std::size_t periodBytes() const { return period.size() * sizeof(float); }

    // Renders whole periods until `bytes` are written (at least one period). Stops early, corked,
    // when the source has been quiet long enough and agreed to wake the loop.
    void fill(std::size_t bytes) {
        if (rewrites) {
            fillAhead(bytes);
            return;
        }
        std::size_t periods = std::max<std::size_t>(1, bytes / periodBytes());
        while (periods-- > 0) {
            source->render(period.data(), period.size());
            if (pa_stream_write(stream, period.data(), periodBytes(), nullptr, 0,
                                PA_SEEK_RELATIVE) < 0) {
                return;  // the stream failed; its state callback reports it
            }
            if (silence.rendered(period.size(), source->isQuiet())) {
                silence.reset();
                if (source->armWake(owner->waker_)) {
                    sleep();
                    return;
                }
            }
        }
    }

    // Writing ahead: one write of whole periods for what the server asks. Waiting commands are
    // left for a rewrite.
    void fillAhead(std::size_t bytes) {
        if (source->hasCommands()) {
            writeCommands();
        }
        const std::size_t frames = std::max<std::size_t>(1, bytes / periodBytes()) * period.size();
        if (!writeFrames(frames, false)) {
            return;  // the stream failed; its state callback reports it
        }
        if (silence.rendered(frames, source->isQuiet())) {
            silence.reset();
            if (!source->hasCommands()) {
                sleep();
                return;
            }
        }
        if (const auto playing = playingFrame()) {
            source->commit(plan.rewriteFrom(playing, serverFloor(), source->position()));
        }
    }

    // Renders `frames` from the source's position straight into libpulse's buffers and queues
    // them at that position of the stream, in as few writes as libpulse allows.
    bool writeFrames(std::size_t frames, bool applyCommands) {
        while (frames > 0) {
            const std::uint64_t at = source->position();
            void* data = nullptr;
            std::size_t bytes = frames * sizeof(float);
            if (pa_stream_begin_write(stream, &data, &bytes) < 0 || data == nullptr ||
                bytes < sizeof(float)) {
                return false;
            }
            const std::size_t count = std::min(frames, bytes / sizeof(float));
            auto* mono = static_cast<float*>(data);
            if (applyCommands) {
                source->render(mono, count);
                applyCommands = false;
            } else {
                source->renderAhead(mono, count);
            }
            // A seek relative to the write index, not to the stream's start: the server counts an
            // absolute one as frames the stream still owes it and asks for them again at once,
            // which would wake both ends once more for every rewrite.
            const std::uint64_t from = at - base;
            const auto offset = static_cast<std::int64_t>(from * sizeof(float)) -
                                static_cast<std::int64_t>(writeIndex * sizeof(float));
            if (pa_stream_write(stream, mono, count * sizeof(float), nullptr, offset,
                                PA_SEEK_RELATIVE) < 0) {
                return false;
            }
            writeIndex = from + count;
            frames -= count;
        }
        return true;
    }

    // The source frame playing now: where the server's last timing report put it, plus the time
    // since. libpulse's own interpolation smooths its estimate over the reports, which here lets
    // it run milliseconds off, more than a rewrite's margin.
    std::optional<std::uint64_t> playingFrame() const {
        const pa_timing_info* timing = pa_stream_get_timing_info(stream);
        if (timing == nullptr || timing->read_index_corrupt) {
            return std::nullopt;
        }
        double frames = static_cast<double>(timing->read_index) / sizeof(float);
        if (!corked) {
            frames -= static_cast<double>(timing->sink_usec) * pcmSampleRate / 1e6;
            if (timing->playing != 0) {
                frames +=
                    static_cast<double>(pa_timeval_age(&timing->timestamp)) * pcmSampleRate / 1e6;
            }
        }
        return base + static_cast<std::uint64_t>(std::max(0.0, frames));
    }

    // The earliest source frame a write that leaves now can still replace: 0 where the server
    // takes back anything it has not played; on PipeWire the frame after what its graph may have
    // taken by the time the write arrives. Learns the graph's quantum from the report it reads.
    std::uint64_t serverFloor() {
        if (!graph) {
            return 0;
        }
        const pa_timing_info* timing = pa_stream_get_timing_info(stream);
        if (timing == nullptr || timing->read_index_corrupt || timing->read_index < 0) {
            return 0;
        }
        const auto readFrame = static_cast<std::uint64_t>(timing->read_index) / sizeof(float);
        quantum.read(readFrame);
        std::uint64_t floor = base + readFrame;
        if (!corked && timing->playing != 0) {
            // One more quantum may go before the write gets there, and one for each that passed.
            const auto age = static_cast<double>(pa_timeval_age(&timing->timestamp));
            floor += static_cast<std::uint64_t>(age * pcmSampleRate / 1e6) + quantum.quantum() +
                     rewriteMarginFrames;
        }
        return floor;
    }

    // Applies the waiting commands just ahead of the frame playing and writes again from there
    // over what the server holds, up to where the queue ended (at least one period).
    void rewrite() {
        const std::uint64_t written = source->position();
        const std::uint64_t from = source->rewindTo(
            plan.rewriteFrom(playingFrame(), serverFloor(), written, corked && graph));
        source->commit(from);
        silence.reset();
        const std::uint64_t end = std::max<std::uint64_t>(written, from + period.size());
        writeFrames(static_cast<std::size_t>(end - from), true);
    }

    // Keeps the source's waker armed while writing ahead, so that every command reaches the loop.
    void armForCommands() {
        if (!stopping && !corked && !awaitingTiming && !source->armWake(owner->waker_)) {
            writeCommands();  // a command came meanwhile
        }
    }

    // Whether the last timing report places the frame playing now as well as a fresh one would:
    // its read index is known, it was taken while the stream played, it is timed by the server's
    // own clock (so a slow answer does not shift it), and it is recent. A wake never gets here
    // with a report from before the cork: it asks first, and that answer, taken while corked, says
    // the stream was not playing. Typing then costs one write a sound instead of a round trip
    // first, which on PulseAudio wakes its main and sink threads twice more.
    bool lastReportPlaces() const {
        if (corked) {
            return false;
        }
        const pa_timing_info* timing = pa_stream_get_timing_info(stream);
        return timing != nullptr && !timing->read_index_corrupt && timing->playing != 0 &&
               timing->synchronized_clocks != 0 &&
               pa_timeval_age(&timing->timestamp) <= trustedReportAgeUsec;
    }

    // Applies the waiting commands from where the last report places the frame playing, or asks
    // the server first where it cannot.
    void writeCommands() {
        if (awaitingTiming || stopping) {
            return;
        }
        if (!lastReportPlaces()) {
            askWhatPlays();
            return;
        }
        rewrite();
        armForCommands();
    }

    // The waiting commands are applied once the server says which frame it plays.
    void askWhatPlays() {
        if (awaitingTiming || stopping) {
            return;
        }
        if (pa_operation* update = pa_stream_update_timing_info(stream, &Session::timed, this)) {
            awaitingTiming = true;
            owner->questions_.fetch_add(1);
            pa_operation_unref(update);
        } else {
            rewrite();  // the stream failed; its state callback reports it
        }
    }

    void sleep() {
        corked = true;
        owner->asleep_.store(true);
        release(pa_stream_cork(stream, 1, nullptr, nullptr));
        if (rewrites && graph) {
            // Where the read index stopped, for the wake; asked after the cork, so the answer
            // comes after the server paused the stream.
            pausedReadKnown = false;
            if (pa_operation* update =
                    pa_stream_update_timing_info(stream, &Session::pausedTimed, this)) {
                pa_operation_unref(update);
            }
        }
        if (!rewrites) {
            // What the server still holds is silence; dropping it lets the next sound start at
            // once. A stream that rewrites keeps it (and its count of frames) and writes over it.
            release(pa_stream_flush(stream, nullptr, nullptr));
        }
        // A corked stream still holds the sink to its latency, and a sink with a latency of a few
        // milliseconds wakes the server that often; asking for a long one lets it rest.
        pa_buffer_attr relaxed = attributes;
        relaxed.tlength =
            static_cast<std::uint32_t>(idleLatencySeconds * pcmSampleRate * sizeof(float));
        relaxed.minreq = relaxed.tlength / 4;
        release(pa_stream_set_buffer_attr(stream, &relaxed, nullptr, nullptr));
    }

    void wake() {
        if (!corked || stopping) {
            return;
        }
        owner->asleep_.store(false);
        owner->wakes_.fetch_add(1);
        release(pa_stream_set_buffer_attr(stream, &attributes, nullptr, nullptr));
        if (rewrites && graph && pausedReadKnown && !awaitingTiming) {
            // PipeWire's server keeps a corked stream's read index where the cork left it, and
            // reported it then: the sound goes out from there at once (still corked, so without
            // a margin), ahead of the uncork. PulseAudio resumes a little past it now and then,
            // losing a sound's start, so there the wake asks where it stands and keeps the margin.
            rewrite();
            corked = false;
            release(pa_stream_cork(stream, 0, nullptr, nullptr));
            armForCommands();
            return;
        }
        corked = false;
        if (rewrites) {
            // The frame to write from is the server's read index, which PulseAudio moved when it
            // took back what the sink had rendered ahead; the answer writes and uncorks.
            askWhatPlays();
            return;
        }
        source->disarmWake();
        // The data goes out ahead of the uncork, so the server can play the moment it resumes.
        const std::size_t writable = pa_stream_writable_size(stream);
        fill(writable == static_cast<std::size_t>(-1) ? periodBytes() : wanted(writable));
        if (!corked) {
            release(pa_stream_cork(stream, 0, nullptr, nullptr));
        }
    }

    static void pausedTimed(pa_stream*, int success, void* userdata) {
        auto* session = static_cast<Session*>(userdata);
        session->pausedReadKnown = success != 0 && session->corked;
    }

    static void timed(pa_stream* stream, int, void* userdata) {
        auto* session = static_cast<Session*>(userdata);
        if (!session->awaitingTiming || session->stopping) {
            return;
        }
        session->awaitingTiming = false;
        session->rewrite();
        if (pa_stream_is_corked(stream) == 1 && !session->corked) {
            release(pa_stream_cork(stream, 0, nullptr, nullptr));  // woken from the cork
        }
        session->armForCommands();
    }

    static void contextChanged(pa_context*, void* userdata) {
        auto* session = static_cast<Session*>(userdata);
        pa_threaded_mainloop_signal(session->loop, 0);
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(session->context)) && session->stream &&
            !session->stopping) {
            session->owner->changed_();  // the server went away
        }
    }

    static void streamChanged(pa_stream* stream, void* userdata) {
        auto* session = static_cast<Session*>(userdata);
        pa_threaded_mainloop_signal(session->loop, 0);
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if ((state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) && !session->stopping &&
            session->owner->running_.load()) {
            session->owner->changed_();  // the sink went away
        }
    }

    // Some servers grant more buffer than asked for (PipeWire's at least three of its own
    // requests); only as much as this is queued, since a key's sound waits behind all of it.
    std::size_t queueLimit = 0;
    std::size_t grantedLength = 0;

    // What to write when the server has room for `bytes`.
    std::size_t wanted(std::size_t bytes) const {
        const std::size_t queued = grantedLength > bytes ? grantedLength - bytes : 0;
        return queued >= queueLimit ? 0 : std::min(bytes, queueLimit - queued);
    }

    static void writable(pa_stream*, std::size_t bytes, void* userdata) {
        auto* session = static_cast<Session*>(userdata);
        if (!session->corked && !session->stopping) {
            if (const std::size_t want = session->wanted(bytes); want > 0) {
                session->fill(want);
            }
        }
    }

    static void woken(pa_mainloop_api*, pa_io_event*, int, pa_io_event_flags_t, void* userdata) {
        auto* session = static_cast<Session*>(userdata);
        session->owner->waker_.clear();
        if (session->corked) {
            session->wake();
        } else if (session->rewrites) {
            session->writeCommands();
        }
    }

    static void serverEvent(pa_context* context, pa_subscription_event_type_t, std::uint32_t,
                            void* userdata) {
        release(pa_context_get_server_info(context, &Session::serverInfo, userdata));
    }

    static void serverInfo(pa_context*, const pa_server_info* info, void* userdata) {
        auto* session = static_cast<Session*>(userdata);
        session->serverAnswered = true;  // start waits for the first answer
        pa_threaded_mainloop_signal(session->loop, 0);
        if (info == nullptr || session->stopping) {
            return;
        }
        const std::string sink = info->default_sink_name != nullptr ? info->default_sink_name : "";
        if (session->defaultKnown && sink != session->defaultSink && session->followsDefault) {
            session->owner->changed_();
        }
        session->defaultKnown = true;
        session->defaultSink = sink;
        if (info->server_name != nullptr) {
            session->serverName = info->server_name;
        }
    }
};

const int PulseAudioOutput::noSuchDevice = PA_ERR_NOENTITY;

PulseAudioOutput::PulseAudioOutput(std::size_t periodFrames, std::string server,
                                   std::size_t idleFrames)
    : periodFrames_(std::clamp<std::size_t>(periodFrames, 16, 8192)),
      server_(std::move(server)),
      idleFrames_(idleFrames) {}

PulseAudioOutput::~PulseAudioOutput() {
    stop();
}

std::expected<void, Error> PulseAudioOutput::start(RenderSource& source) {
    std::lock_guard lock(mutex_);
    if (running_.load()) {
        return {};
    }
    auto session = std::make_unique<Session>();
    Session& s = *session;
    s.owner = this;
    s.source = &source;
    s.period.assign(periodFrames_, 0.0f);
    s.silence = SilenceTracker(idleFrames_);
    s.quantum = GraphQuantum(assumedGraphQuantum, periodFrames_, largestGraphQuantum);
    s.followsDefault = !device_.has_value();
    s.loop = pa_threaded_mainloop_new();
    if (s.loop == nullptr) {
        return std::unexpected(pulseError(PA_ERR_INTERNAL));
    }
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(s.loop);
    s.context = pa_context_new(api, "Tapwell");
    if (s.context == nullptr) {
        return std::unexpected(pulseError(PA_ERR_INTERNAL));
    }
    pa_context_set_state_callback(s.context, &Session::contextChanged, &s);
    waker_.clear();

    pa_threaded_mainloop_lock(s.loop);
    auto fail = [&s](int code) {
        s.source->setRewindWindow(0);
        pa_threaded_mainloop_unlock(s.loop);
        return std::unexpected(pulseError(code));
    };
    if (pa_threaded_mainloop_start(s.loop) < 0) {
        return fail(PA_ERR_INTERNAL);
    }
    if (pa_context_connect(s.context, server_.empty() ? nullptr : server_.c_str(),
                           PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return fail(pa_context_errno(s.context));
    }
    for (pa_context_state_t state = pa_context_get_state(s.context); state != PA_CONTEXT_READY;
         state = pa_context_get_state(s.context)) {
        if (!PA_CONTEXT_IS_GOOD(state)) {
            return fail(pa_context_errno(s.context));
        }
        pa_threaded_mainloop_wait(s.loop);
    }
    s.base = source.position();
    s.plan.restart(s.base);
    pa_context_set_subscribe_callback(s.context, &Session::serverEvent, &s);
    release(pa_context_subscribe(s.context, PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr));
    release(pa_context_get_server_info(s.context, &Session::serverInfo, &s));
    while (!s.serverAnswered) {
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(s.context))) {
            return fail(pa_context_errno(s.context));
        }
        pa_threaded_mainloop_wait(s.loop);
    }
    s.graph = namesPipeWire(s.serverName);
    const std::size_t window = writeAheadFrames + 4 * periodFrames_;
    s.rewrites = source.setRewindWindow(window) >= window;
    if (!s.rewrites) {
        source.setRewindWindow(0);
    }

    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, static_cast<std::uint32_t>(pcmSampleRate), 1};
    pa_channel_map map;
    pa_channel_map_init_mono(&map);
    s.stream = pa_stream_new(s.context, "Typing sounds", &spec, &map);
    if (s.stream == nullptr) {
        return fail(pa_context_errno(s.context));
    }
    pa_stream_set_state_callback(s.stream, &Session::streamChanged, &s);
    pa_stream_set_write_callback(s.stream, &Session::writable, &s);
    const auto periodBytes = static_cast<std::uint32_t>(s.periodBytes());
    pa_buffer_attr& attributes = s.attributes;
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = bufferedPeriods * periodBytes;
    attributes.prebuf = periodBytes;
    attributes.minreq = periodBytes;
    if (s.rewrites) {
        attributes.tlength = static_cast<std::uint32_t>(
            (s.graph ? graphTargetFrames(periodFrames_) : writeAheadFrames) * sizeof(float));
        attributes.minreq = static_cast<std::uint32_t>(writeAheadRequestFrames * sizeof(float));
    }
    attributes.fragsize = static_cast<std::uint32_t>(-1);
    // The first request can come before the stream reads as ready.
    s.grantedLength = attributes.tlength;
    s.queueLimit = attributes.tlength;
    auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY |
                                                (device_ ? PA_STREAM_DONT_MOVE : 0) |
                                                (s.rewrites ? PA_STREAM_AUTO_TIMING_UPDATE : 0));
    if (pa_stream_connect_playback(s.stream, device_ ? device_->id.c_str() : nullptr, &attributes,
                                   flags, nullptr, nullptr) < 0) {
        return fail(pa_context_errno(s.context));
    }
    for (pa_stream_state_t state = pa_stream_get_state(s.stream); state != PA_STREAM_READY;
         state = pa_stream_get_state(s.stream)) {
        if (!PA_STREAM_IS_GOOD(state)) {
            return fail(pa_context_errno(s.context));
        }
        pa_threaded_mainloop_wait(s.loop);
    }
    if (const pa_buffer_attr* granted = pa_stream_get_buffer_attr(s.stream)) {
        s.grantedLength = granted->tlength;
        s.queueLimit = std::max<std::size_t>(attributes.tlength, granted->minreq + periodBytes);
        const double bytesPerMs = pcmSampleRate * sizeof(float) / 1000.0;
        logger(LogCategory::audio)
            .debug("Sound server stream: {} ms ahead, requests of {} ms, starts after {} ms",
                   granted->tlength / bytesPerMs, granted->minreq / bytesPerMs,
                   granted->prebuf / bytesPerMs);
    }
    s.wakeEvent = api->io_new(api, waker_.fd(), PA_IO_EVENT_INPUT, &Session::woken, &s);
    logger(LogCategory::audio)
        .debug("Sound server output: {}",
               s.rewrites ? "writes ahead and over its queue" : "keeps a short queue");
    s.armForCommands();
    running_.store(true);
    pa_threaded_mainloop_unlock(s.loop);
    session_ = std::move(session);
    return {};
}

void PulseAudioOutput::stop() {
    std::unique_ptr<Session> session;
    {
        std::lock_guard lock(mutex_);
        if (!session_) {
            return;
        }
        RenderSource* source = session_->source;
        source->disarmWake();
        running_.store(false);
        session = std::move(session_);
        session.reset();       // joins the main loop: the source is not called again
        source->disarmWake();  // the loop may have armed it once more on its way out
        source->setRewindWindow(0);
        asleep_.store(false);
    }
}

void PulseAudioOutput::setConfigurationChangeHandler(std::function<void()> handler) {
    changed_.set(std::move(handler));
}

std::optional<AudioDevice> PulseAudioOutput::currentDevice() const {
    std::lock_guard lock(mutex_);
    return device_;
}

std::expected<void, Error> PulseAudioOutput::setCurrentDevice(
    const std::optional<AudioDevice>& device) {
    if (device) {
        auto sinks = PulseOutputDevices(server_, std::chrono::seconds(2)).outputDevices();
        if (!sinks) {
            return std::unexpected(sinks.error());
        }
        const bool known = std::any_of(sinks->begin(), sinks->end(), [&](const auto& info) {
            return info.device.id == device->id;
        });
        if (!known) {
            return std::unexpected(Error{"pulse", noSuchDevice,
                                         "No audio output device named \"" + device->name + "\"."});
        }
    }
    std::lock_guard lock(mutex_);
    device_ = device;
    return {};
}

void PulseAudioOutput::forceCurrentDevice(const std::optional<AudioDevice>& device) {
    std::lock_guard lock(mutex_);
    device_ = device;
}

}  // namespace tapwell

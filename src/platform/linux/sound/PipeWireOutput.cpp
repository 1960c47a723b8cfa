#include "platform/linux/sound/PipeWireOutput.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <pthread.h>

#include "core/Log.h"
#include "sound/PcmBuffer.h"

namespace tapwell {

namespace {

Error pipewireError(int code, const std::string& what) {
    return Error{"pipewire", code, what + ": " + std::strerror(code)};
}

// How long a start waits for each step of the server's and the session manager's.
constexpr int startTimeoutSeconds = 2;

// PipeWire writes its warnings to standard error; they go to the audio log at debug level instead,
// which reaches the terminal only with --verbose. What fails is reported by the output itself.
void logPipeWireMessage(void*, spa_log_level level, const spa_log_topic* topic, const char* file,
                        int line, const char*, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    logger(LogCategory::audio)
        .debug("PipeWire {} {} {}:{}: {}", static_cast<int>(level),
               topic != nullptr && topic->topic != nullptr ? topic->topic : "",
               file != nullptr ? file : "?", line, text);
}

void logPipeWireMessageV0(void* object, spa_log_level level, const char* file, int line,
                          const char* function, const char* format, va_list arguments) {
    logPipeWireMessage(object, level, nullptr, file, line, function, format, arguments);
}

void logPipeWireMessageT(void* object, spa_log_level level, const spa_log_topic* topic,
                         const char* file, int line, const char* function, const char* format,
                         ...) {
    va_list arguments;
    va_start(arguments, format);
    logPipeWireMessage(object, level, topic, file, line, function, format, arguments);
    va_end(arguments);
}

void logPipeWireMessageT0(void* object, spa_log_level level, const char* file, int line,
                          const char* function, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    logPipeWireMessage(object, level, nullptr, file, line, function, format, arguments);
    va_end(arguments);
}

void initialisePipeWire() {
    static std::once_flag once;
    std::call_once(once, [] {
        pw_init(nullptr, nullptr);
        static const spa_log_methods methods = [] {
            spa_log_methods m{};
            m.version = SPA_VERSION_LOG_METHODS;
            m.log = &logPipeWireMessageT0;
            m.logv = &logPipeWireMessageV0;
            m.logt = &logPipeWireMessageT;
            m.logtv = &logPipeWireMessage;
            return m;
        }();
        static spa_log log = [] {
            spa_log l{};
            l.iface =
                SPA_INTERFACE_INIT(SPA_TYPE_INTERFACE_Log, SPA_VERSION_LOG, &methods, nullptr);
            l.level = pw_log_level;  // as PIPEWIRE_DEBUG set it
            return l;
        }();
        pw_log_set(&log);
    });
}

}  // namespace

struct PipeWireOutput::Session {
    PipeWireOutput* owner = nullptr;
    RenderSource* source = nullptr;

    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    spa_hook coreListener{};
    spa_hook streamListener{};
    spa_source* events = nullptr;

    pw_stream_state state = PW_STREAM_STATE_CONNECTING;  // loop thread
    bool broken = false;    // the server went away or the stream failed; loop thread
    bool stopping = false;  // loop thread, or with the loop locked
    bool reported = false;  // loop thread

    // The real-time thread asks the loop thread to make the stream inactive; until it is, the
    // stream plays silence.
    SilenceTracker silence;  // real-time thread
    bool named = false;      // real-time thread
    std::atomic<bool> sleepRequested{false};

    ~Session() {
        if (loop != nullptr) {
            pw_thread_loop_stop(loop);
        }
        // With the loop stopped these run on this thread alone; destroying the stream waits until
        // its real-time thread has left the process callback for good.
        if (stream != nullptr) {
            spa_hook_remove(&streamListener);
            pw_stream_destroy(stream);
        }
        if (events != nullptr) {
            pw_loop_destroy_source(pw_thread_loop_get_loop(loop), events);
        }
        if (core != nullptr) {
            spa_hook_remove(&coreListener);
            pw_core_disconnect(core);
        }
        if (context != nullptr) {
            pw_context_destroy(context);
        }
        if (loop != nullptr) {
            pw_thread_loop_destroy(loop);
        }
    }

    void report() {
        broken = true;
        if (!stopping && owner->running_.load() && !reported) {
            reported = true;
            owner->changed_();
        }
    }

    static void coreError(void* userdata, std::uint32_t id, int, int result, const char* message) {
        auto* session = static_cast<Session*>(userdata);
        logger(LogCategory::audio)
            .debug("PipeWire: error on object {}: {} ({})", id, message != nullptr ? message : "",
                   std::strerror(-result));
        if (id == PW_ID_CORE && result == -EPIPE) {
            session->report();  // the server went away
        }
        pw_thread_loop_signal(session->loop, false);
    }

    static void stateChanged(void* userdata, pw_stream_state, pw_stream_state state,
                             const char* error) {
        auto* session = static_cast<Session*>(userdata);
        session->state = state;
        logger(LogCategory::audio).debug("PipeWire stream: {}", pw_stream_state_as_string(state));
        if (state == PW_STREAM_STATE_ERROR) {
            logger(LogCategory::audio)
                .debug("PipeWire stream failed: {}", error != nullptr ? error : "");
        }
        if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) {
            session->report();
        }
        pw_thread_loop_signal(session->loop, false);
    }

    // Real-time thread, once a graph cycle while the stream is active.
    static void process(void* userdata) {
        auto* session = static_cast<Session*>(userdata);
        if (!session->named) {
            // Started by the context for whoever made it; named once, as the program's own.
            pthread_setname_np(pthread_self(), "tapwell.pw-data");
            session->named = true;
        }
        pw_buffer* buffer = pw_stream_dequeue_buffer(session->stream);
        if (buffer == nullptr) {
            return;
        }
        spa_data& data = buffer->buffer->datas[0];
        if (data.data == nullptr) {
            pw_stream_queue_buffer(session->stream, buffer);
            return;
        }
        std::size_t frames = data.maxsize / sizeof(float);
        frames = std::min<std::size_t>(
            frames, buffer->requested != 0 ? buffer->requested : graphLatencyFrames);
        session->fill(static_cast<float*>(data.data), frames);
        data.chunk->offset = 0;
        data.chunk->stride = sizeof(float);
        data.chunk->size = static_cast<std::uint32_t>(frames * sizeof(float));
        pw_stream_queue_buffer(session->stream, buffer);
    }

    void fill(float* mono, std::size_t frames) {
        std::size_t done = 0;
        while (done < frames && !sleepRequested.load()) {
            const std::size_t count = std::min(owner->periodFrames_, frames - done);
            source->render(mono + done, count);
            done += count;
            if (silence.rendered(count, source->isQuiet())) {
                silence.reset();
                if (source->armWake(owner->commandWaker_)) {
                    sleepRequested.store(true);
                    owner->events_.wake();
                }
            }
        }
        // Until the loop thread makes the stream inactive; a command that comes meanwhile wakes it
        // again and plays from its first frame.
        std::fill(mono + done, mono + frames, 0.0f);
    }

    // Loop thread: a sleep asked for by the real-time thread, a command's wake, or both.
    static void settle(void* userdata, int, std::uint32_t) {
        auto* session = static_cast<Session*>(userdata);
        PipeWireOutput& owner = *session->owner;
        owner.events_.clear();
        if (!owner.asleep_.load()) {
            if (!session->sleepRequested.load()) {
                return;
            }
            if (owner.wakeRequested_.exchange(false)) {
                session->sleepRequested.store(false);  // a command came before the stream slept
                return;
            }
            pw_stream_set_active(session->stream, false);
            owner.asleep_.store(true);
        }
        if (owner.wakeRequested_.exchange(false)) {
            session->sleepRequested.store(false);
            pw_stream_set_active(session->stream, true);
            owner.asleep_.store(false);
            owner.wakes_.fetch_add(1);
        }
    }
};

PipeWireOutput::PipeWireOutput(std::size_t periodFrames, std::string remote, std::size_t idleFrames)
    : periodFrames_(std::clamp<std::size_t>(periodFrames, 32, 8192)),
      remote_(std::move(remote)),
      idleFrames_(idleFrames) {}

PipeWireOutput::~PipeWireOutput() {
    stop();
}

void PipeWireOutput::CommandWaker::wake() noexcept {
    output.wakeRequested_.store(true);
    output.events_.wake();
}

std::expected<void, Error> PipeWireOutput::start(RenderSource& source) {
    std::lock_guard lock(mutex_);
    if (running_.load()) {
        return {};
    }
    initialisePipeWire();

    auto session = std::make_unique<Session>();
    Session& s = *session;
    s.owner = this;
    s.source = &source;
    s.silence = SilenceTracker(idleFrames_);
    wakeRequested_.store(false);
    events_.clear();

    s.loop = pw_thread_loop_new("tapwell.pw-loop", nullptr);
    if (s.loop == nullptr) {
        return std::unexpected(pipewireError(errno, "cannot make a loop"));
    }
    pw_loop* loop = pw_thread_loop_get_loop(s.loop);
    // The configuration of a real-time client: the thread that renders gets real-time priority
    // when the system grants it, so that a busy desktop does not make the graph wait for it.
    s.context =
        pw_context_new(loop, pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
    if (s.context == nullptr) {
        return std::unexpected(pipewireError(errno, "cannot make a context"));
    }
    if (pw_thread_loop_start(s.loop) < 0) {
        return std::unexpected(pipewireError(errno, "cannot start the loop"));
    }
    pw_thread_loop_lock(s.loop);
    auto fail = [&s](int code, const char* what) {
        s.stopping = true;
        pw_thread_loop_unlock(s.loop);
        return std::unexpected(pipewireError(code, what));
    };
    pw_properties* remote =
        remote_.empty() ? nullptr : pw_properties_new(PW_KEY_REMOTE_NAME, remote_.c_str(), nullptr);
    s.core = pw_context_connect(s.context, remote, 0);
    if (s.core == nullptr) {
        return fail(errno, "no server answered");
    }
    static const pw_core_events coreEvents = [] {
        pw_core_events events{};
        events.version = PW_VERSION_CORE_EVENTS;
        events.error = &Session::coreError;
        return events;
    }();
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"  // inside libpipewire's macro
    pw_core_add_listener(s.core, &s.coreListener, &coreEvents, &s);
#pragma GCC diagnostic pop

    const std::string latency = std::to_string(std::max(periodFrames_, graphLatencyFrames)) + "/" +
                                std::to_string(pcmSampleRate);
    pw_properties* properties = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_APP_NAME, "Tapwell",
        PW_KEY_NODE_NAME, "Tapwell", PW_KEY_NODE_LATENCY, latency.c_str(), nullptr);
    if (device_) {
        // On that sink only: with it gone the session manager ends the stream, which reports it.
        pw_properties_set(properties, PW_KEY_TARGET_OBJECT, device_->id.c_str());
        pw_properties_set(properties, PW_KEY_NODE_DONT_RECONNECT, "true");
    }
    s.stream = pw_stream_new(s.core, "Typing sounds", properties);
    if (s.stream == nullptr) {
        return fail(errno, "cannot make a stream");
    }
    static const pw_stream_events streamEvents = [] {
        pw_stream_events events{};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.state_changed = &Session::stateChanged;
        events.process = &Session::process;
        return events;
    }();
    pw_stream_add_listener(s.stream, &s.streamListener, &streamEvents, &s);
    s.events = pw_loop_add_io(loop, events_.fd(), SPA_IO_IN, false, &Session::settle, &s);
    if (s.events == nullptr) {
        return fail(errno, "cannot watch for commands");
    }

    std::uint8_t formatSpace[256];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(formatSpace, sizeof formatSpace);
    spa_audio_info_raw info{};
    info.format = SPA_AUDIO_FORMAT_F32;
    info.rate = static_cast<std::uint32_t>(pcmSampleRate);
    info.channels = 1;
    info.position[0] = SPA_AUDIO_CHANNEL_MONO;
    const spa_pod* format = spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info);
    const auto flags = static_cast<pw_stream_flags>(
        PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
    if (const int connected =
            pw_stream_connect(s.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, &format, 1);
        connected < 0) {
        return fail(-connected, "cannot connect the stream");
    }
    // Made on the server, then started once the session manager links it: to its sink, or with
    // no sink at all to PipeWire's own clock. A sink set by name that is not there ends the stream
    // instead.
    while (s.state != PW_STREAM_STATE_STREAMING) {
        if (s.broken || pw_thread_loop_timed_wait(s.loop, startTimeoutSeconds) != 0) {
            return fail(s.broken ? ENOENT : ETIMEDOUT, "the stream did not start");
        }
    }
    running_.store(true);
    pw_thread_loop_unlock(s.loop);
    session_ = std::move(session);
    logger(LogCategory::audio).debug("Sound server output: a PipeWire stream of its own");
    return {};
}

void PipeWireOutput::stop() {
    std::lock_guard lock(mutex_);
    if (!session_) {
        return;
    }
    RenderSource* source = session_->source;
    source->disarmWake();
    running_.store(false);
    pw_thread_loop_lock(session_->loop);
    session_->stopping = true;
    pw_thread_loop_unlock(session_->loop);
    session_.reset();      // the source is not called again
    source->disarmWake();  // the real-time thread may have armed it once more on its way out
    asleep_.store(false);
}

void PipeWireOutput::setConfigurationChangeHandler(std::function<void()> handler) {
    changed_.set(std::move(handler));
}

std::optional<AudioDevice> PipeWireOutput::currentDevice() const {
    std::lock_guard lock(mutex_);
    return device_;
}

std::expected<void, Error> PipeWireOutput::setCurrentDevice(
    const std::optional<AudioDevice>& device) {
    std::lock_guard lock(mutex_);
    device_ = device;
    return {};
}

}  // namespace tapwell

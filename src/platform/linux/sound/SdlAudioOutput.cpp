#include "platform/linux/sound/SdlAudioOutput.h"

#include <SDL.h>
#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/Log.h"
#include "sound/PcmBuffer.h"

namespace tapwell {

namespace {

Error sdlError() {
    return Error{"sdl", -1, SDL_GetError()};
}

constexpr auto watchInterval = std::chrono::milliseconds(200);

// ALSA writes every step of its device probing to standard error (eight lines on a machine without
// a sound card, before SDL falls back or reports the failure that matters). They go to the audio
// log at debug level instead, which reaches the terminal only with --verbose.
void logAlsaMessage(const char* file, int line, const char* function, int error, const char* format,
                    ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    logger(LogCategory::audio)
        .debug("ALSA {}:{} ({}): {}{}{}", file != nullptr ? file : "?", line,
               function != nullptr ? function : "?", text, error != 0 ? ": " : "",
               error != 0 ? snd_strerror(error) : "");
}

void routeAlsaMessagesToLog() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&logAlsaMessage); });
}

}  // namespace

SdlAudioOutput::SdlAudioOutput(std::size_t periodFrames, std::size_t idleFrames)
    : periodFrames_(std::clamp<std::size_t>(periodFrames, 32, 8192)), silence_(idleFrames) {
    routeAlsaMessagesToLog();
}

SdlAudioOutput::~SdlAudioOutput() {
    stop();
    if (subsystemReady_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

bool SdlAudioOutput::ensureSubsystem() {
    // Started on first use only: while the sound server's own output plays, SDL's audio
    // subsystem (its device enumeration and hot-plug thread) would cost memory for nothing.
    if (!subsystemReady_) {
        subsystemReady_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    }
    return subsystemReady_;
}

std::expected<void, Error> SdlAudioOutput::start(RenderSource& source) {
    std::lock_guard lock(mutex_);
    if (running_.load()) {
        return {};
    }
    if (!ensureSubsystem()) {
        return std::unexpected(sdlError());
    }
    source_ = &source;
    openedName_ = device_ ? device_->name : std::string();
    silence_.reset();
    sleepRequested_.store(false);
    wakeRequested_.store(false);
    events_.clear();
    const SDL_AudioDeviceID id = openDevice();
    if (id == 0) {
        source_ = nullptr;
        return std::unexpected(sdlError());
    }
    deviceID_ = id;
    running_.store(true);
    watchStop_.store(false);
    watcher_ = std::thread([this] { watch(); });
    return {};
}

std::uint32_t SdlAudioOutput::openDevice() {
    SDL_AudioSpec want{};
    want.freq = pcmSampleRate;
    want.format = AUDIO_F32SYS;
    want.channels = 1;
    want.samples = static_cast<Uint16>(periodFrames_);
    want.callback = &SdlAudioOutput::callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No allowed changes: SDL converts our mono float to the device's format itself.
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(
        openedName_.empty() ? nullptr : openedName_.c_str(), 0, &want, &have, 0);
    if (id != 0) {
        SDL_PauseAudioDevice(id, 0);
    }
    return id;
}

void SdlAudioOutput::closeDevice() {
    watchStop_.store(true);
    events_.wake();
    if (watcher_.joinable()) {
        watcher_.join();
    }
    if (deviceID_ != 0) {
        // Returns after the audio thread left the callback for good.
        SDL_CloseAudioDevice(deviceID_);
        deviceID_ = 0;
    }
    if (source_ != nullptr) {
        source_->disarmWake();
    }
    source_ = nullptr;
    asleep_.store(false);
    running_.store(false);
}

void SdlAudioOutput::stop() {
    std::lock_guard lock(mutex_);
    closeDevice();
}

void SdlAudioOutput::CommandWaker::wake() noexcept {
    output.wakeRequested_.store(true);
    output.events_.wake();
}

void SdlAudioOutput::callback(void* self, std::uint8_t* stream, int length) {
    auto* output = static_cast<SdlAudioOutput*>(self);
    auto* mono = reinterpret_cast<float*>(stream);
    const auto frames = static_cast<std::size_t>(length) / sizeof(float);
    if (output->sleepRequested_.load()) {
        // Until the watcher closes the device; a command that comes meanwhile waits for the
        // reopened device.
        std::fill(mono, mono + frames, 0.0f);
        return;
    }
    RenderSource& source = *output->source_;
    source.render(mono, frames);
    if (output->silence_.rendered(frames, source.isQuiet())) {
        output->silence_.reset();
        if (source.armWake(output->commandWaker_)) {
            output->sleepRequested_.store(true);
            output->events_.wake();
        }
    }
}

void SdlAudioOutput::watch() {
    bool open = true;
    for (;;) {
        pollfd entry{events_.fd(), POLLIN, 0};
        (void)::poll(&entry, 1, open ? static_cast<int>(watchInterval.count()) : -1);
        events_.clear();
        if (watchStop_.load()) {
            return;
        }
        if (open && sleepRequested_.load()) {
            SDL_CloseAudioDevice(deviceID_);
            deviceID_ = 0;
            open = false;
            sleepRequested_.store(false);
            asleep_.store(true);
        }
        if (!open) {
            if (!wakeRequested_.exchange(false)) {
                continue;
            }
            silence_.reset();
            deviceID_ = openDevice();
            if (deviceID_ == 0) {
                asleep_.store(false);
                changed_();  // the owner restarts on whatever is there now
                return;
            }
            open = true;
            asleep_.store(false);
        }
        // A wake left over from a sleep that never began stays set: it only makes the next sleep
        // reopen the device at once. Clearing it here could lose a wake that came just before
        // the next sleep request.
        if (SDL_GetAudioDeviceStatus(deviceID_) == SDL_AUDIO_STOPPED) {
            changed_();
            return;  // the owner restarts, which opens a new device and a new watcher
        }
    }
}

void SdlAudioOutput::setConfigurationChangeHandler(std::function<void()> handler) {
    changed_.set(std::move(handler));
}

std::optional<AudioDevice> SdlAudioOutput::currentDevice() const {
    std::lock_guard lock(mutex_);
    return device_;
}

std::expected<void, Error> SdlAudioOutput::setCurrentDevice(
    const std::optional<AudioDevice>& device) {
    std::lock_guard lock(mutex_);
    if (device) {
        if (!ensureSubsystem()) {
            return std::unexpected(sdlError());
        }
        // SDL knows devices by name only; an unknown name would fail later, at start.
        bool known = false;
        const int count = SDL_GetNumAudioDevices(0);
        for (int i = 0; i < count && !known; ++i) {
            const char* name = SDL_GetAudioDeviceName(i, 0);
            known = name != nullptr && device->name == name;
        }
        if (!known) {
            return std::unexpected(
                Error{"sdl", -1, "No audio output device named \"" + device->name + "\"."});
        }
    }
    device_ = device;
    return {};
}

}  // namespace tapwell

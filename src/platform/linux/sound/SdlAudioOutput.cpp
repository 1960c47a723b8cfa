#include "platform/linux/sound/SdlAudioOutput.h"

#include <SDL.h>
#include <alsa/asoundlib.h>

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

SdlAudioOutput::SdlAudioOutput(std::size_t periodFrames)
    : periodFrames_(std::clamp<std::size_t>(periodFrames, 32, 8192)) {
    routeAlsaMessagesToLog();
    subsystemReady_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

SdlAudioOutput::~SdlAudioOutput() {
    stop();
    if (subsystemReady_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

std::expected<void, Error> SdlAudioOutput::start(RenderSource& source) {
    std::lock_guard lock(mutex_);
    if (running_.load()) {
        return {};
    }
    if (!subsystemReady_) {
        subsystemReady_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        if (!subsystemReady_) {
            return std::unexpected(sdlError());
        }
    }
    SDL_AudioSpec want{};
    want.freq = pcmSampleRate;
    want.format = AUDIO_F32SYS;
    want.channels = 1;
    want.samples = static_cast<Uint16>(periodFrames_);
    want.callback = &SdlAudioOutput::callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    source_ = &source;
    // No allowed changes: SDL converts our mono float to the device's format itself.
    const SDL_AudioDeviceID id =
        SDL_OpenAudioDevice(device_ ? device_->name.c_str() : nullptr, 0, &want, &have, 0);
    if (id == 0) {
        source_ = nullptr;
        return std::unexpected(sdlError());
    }
    deviceID_ = id;
    SDL_PauseAudioDevice(id, 0);
    running_.store(true);
    {
        std::lock_guard watchLock(watchMutex_);
        watchStop_ = false;
    }
    watcher_ = std::thread([this, id] { watch(id); });
    return {};
}

void SdlAudioOutput::closeDevice() {
    {
        std::lock_guard watchLock(watchMutex_);
        watchStop_ = true;
    }
    watchWake_.notify_all();
    if (watcher_.joinable()) {
        watcher_.join();
    }
    if (deviceID_ != 0) {
        // Returns after the audio thread left the callback for good.
        SDL_CloseAudioDevice(deviceID_);
        deviceID_ = 0;
    }
    source_ = nullptr;
    running_.store(false);
}

void SdlAudioOutput::stop() {
    std::lock_guard lock(mutex_);
    closeDevice();
}

void SdlAudioOutput::callback(void* self, std::uint8_t* stream, int length) {
    auto* output = static_cast<SdlAudioOutput*>(self);
    const auto frames = static_cast<std::size_t>(length) / sizeof(float);
    output->source_->render(reinterpret_cast<float*>(stream), frames);
}

void SdlAudioOutput::watch(std::uint32_t device) {
    std::unique_lock lock(watchMutex_);
    while (!watchWake_.wait_for(lock, watchInterval, [this] { return watchStop_; })) {
        if (SDL_GetAudioDeviceStatus(device) == SDL_AUDIO_STOPPED) {
            lock.unlock();
            std::lock_guard handlerLock(handlerMutex_);
            if (handler_) {
                handler_();
            }
            return;  // the owner restarts, which opens a new device and a new watcher
        }
    }
}

void SdlAudioOutput::setConfigurationChangeHandler(std::function<void()> handler) {
    std::lock_guard lock(handlerMutex_);
    handler_ = std::move(handler);
}

std::optional<AudioDevice> SdlAudioOutput::currentDevice() const {
    std::lock_guard lock(mutex_);
    return device_;
}

std::expected<void, Error> SdlAudioOutput::setCurrentDevice(
    const std::optional<AudioDevice>& device) {
    std::lock_guard lock(mutex_);
    if (device) {
        if (!subsystemReady_) {
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

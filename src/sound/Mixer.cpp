#include "sound/Mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tapwell {

namespace {

// The limiter lets its gain recover towards unity with this time constant.
constexpr double limiterReleaseSeconds = 0.05;

}  // namespace

MixerBus Mixer::busOf(std::size_t voice) {
    if (voice < typingVoiceCount + previewVoiceCount) {
        return MixerBus::typing;
    }
    if (voice < ambienceVoice) {
        return MixerBus::alert;
    }
    return MixerBus::ambience;
}

// Every buffer reference on the render side came through the command queue and is held by at
// most two playbacks per voice, so the retire queue can never overflow when it is as large as the
// command queue plus two per voice.
Mixer::Mixer(std::size_t commandCapacity)
    : commands_(commandCapacity),
      retired_(commandCapacity + 2 * voiceCount + 2),
      busScratch_(3 * blockFrames, 0.0f) {
    limiterRelease_ = static_cast<float>(std::exp(-1.0 / (limiterReleaseSeconds * pcmSampleRate)));
}

bool Mixer::send(Command& command) {
    collectRetired();
    if (commands_.push(command)) {
        // Pairs with the fence in armWake: either the render thread sees this command before it
        // sleeps, or this sees its waker.
        std::atomic_thread_fence(std::memory_order_seq_cst);
        if (waker_.load(std::memory_order_relaxed) != nullptr) {
            if (RenderWaker* waker = waker_.exchange(nullptr)) {
                waker->wake();
            }
        }
        return true;
    }
    droppedCommands_.fetch_add(1, std::memory_order_relaxed);
    return false;
}

bool Mixer::schedule(Command::Type type, std::size_t voice, SharedPcmBuffer buffer, float gain) {
    if (voice >= voiceCount || !buffer || buffer->samples.empty()) {
        return false;
    }
    Command command;
    command.type = type;
    command.voice = static_cast<std::uint8_t>(voice);
    command.gain = gain;
    command.buffer = std::move(buffer);
    return send(command);
}

bool Mixer::play(std::size_t voice, SharedPcmBuffer buffer, float gain) {
    return schedule(Command::Type::play, voice, std::move(buffer), gain);
}

bool Mixer::loop(std::size_t voice, SharedPcmBuffer buffer, float gain) {
    return schedule(Command::Type::loop, voice, std::move(buffer), gain);
}

bool Mixer::stop(std::size_t voice) {
    if (voice >= voiceCount) {
        return false;
    }
    Command command;
    command.type = Command::Type::stop;
    command.voice = static_cast<std::uint8_t>(voice);
    return send(command);
}

bool Mixer::setBusGains(float typing, float alert, float ambience) {
    Command command;
    command.type = Command::Type::gains;
    command.busGains = {typing, alert, ambience};
    return send(command);
}

void Mixer::collectRetired() {
    SharedPcmBuffer buffer;
    while (retired_.pop(buffer)) {
        buffer.reset();
    }
}

void Mixer::release(Playback& playback) noexcept {
    if (playback.buffer) {
        // Cannot fail (see the constructor); should it ever, the reference is dropped here.
        retired_.push(playback.buffer);
        playback.buffer.reset();
    }
    playback = Playback{};
}

void Mixer::cutOff(Voice& voice) noexcept {
    if (!voice.current.active()) {
        return;
    }
    release(voice.fading);
    voice.fading = std::move(voice.current);
    voice.current = Playback{};
    voice.fadeRemaining = fadeOutFrames;
}

void Mixer::apply(Command& command) noexcept {
    switch (command.type) {
        case Command::Type::none:
            break;
        case Command::Type::play:
        case Command::Type::loop: {
            Voice& voice = voices_[command.voice];
            cutOff(voice);
            Playback& playback = voice.current;
            playback.data = command.buffer->samples.data();
            playback.length = command.buffer->samples.size();
            playback.buffer = std::move(command.buffer);
            playback.position = 0;
            playback.gain = command.gain;
            playback.loop = command.type == Command::Type::loop;
            break;
        }
        case Command::Type::stop:
            cutOff(voices_[command.voice]);
            break;
        case Command::Type::gains:
            for (std::size_t bus = 0; bus < busGains_.size(); ++bus) {
                BusGain& gain = busGains_[bus];
                gain.target = command.busGains[bus];
                if (!gainsSet_) {
                    // The first gains apply at once: nothing has sounded yet.
                    gain.current = gain.target;
                    gain.rampRemaining = 0;
                } else if (gain.target == gain.current) {
                    gain.rampRemaining = 0;
                } else {
                    gain.rampRemaining = gainRampFrames;
                    gain.step = (gain.target - gain.current) / static_cast<float>(gainRampFrames);
                }
            }
            gainsSet_ = true;
            break;
    }
}

void Mixer::renderVoice(Voice& voice, float* bus, std::size_t frames) noexcept {
    if (voice.fading.active()) {
        Playback& fading = voice.fading;
        const std::size_t count = std::min(frames, voice.fadeRemaining);
        for (std::size_t i = 0; i < count; ++i) {
            if (fading.position >= fading.length) {
                if (!fading.loop) {
                    break;
                }
                fading.position = 0;
            }
            const float envelope =
                static_cast<float>(voice.fadeRemaining - i) / static_cast<float>(fadeOutFrames);
            bus[i] += PcmBuffer::toFloat(fading.data[fading.position++]) * fading.gain * envelope;
        }
        voice.fadeRemaining -= count;
        if (voice.fadeRemaining == 0 || (!fading.loop && fading.position >= fading.length)) {
            release(fading);
            voice.fadeRemaining = 0;
        }
    }
    Playback& current = voice.current;
    if (!current.active()) {
        return;
    }
    std::size_t i = 0;
    while (i < frames) {
        if (current.position >= current.length) {
            if (!current.loop) {
                break;
            }
            current.position = 0;
        }
        const std::size_t count = std::min(frames - i, current.length - current.position);
        const PcmBuffer::Sample* source = current.data + current.position;
        const float gain = current.gain;
        for (std::size_t k = 0; k < count; ++k) {
            bus[i + k] += PcmBuffer::toFloat(source[k]) * gain;
        }
        i += count;
        current.position += count;
    }
    if (!current.loop && current.position >= current.length) {
        release(current);
    }
}

void Mixer::renderBlock(float* mono, std::size_t frames) noexcept {
    float* buses[3] = {busScratch_.data(), busScratch_.data() + blockFrames,
                       busScratch_.data() + 2 * blockFrames};
    std::fill(busScratch_.begin(), busScratch_.end(), 0.0f);
    for (std::size_t v = 0; v < voiceCount; ++v) {
        renderVoice(voices_[v], buses[static_cast<std::size_t>(busOf(v))], frames);
    }
    for (std::size_t i = 0; i < frames; ++i) {
        float sample = 0.0f;
        for (std::size_t bus = 0; bus < 3; ++bus) {
            BusGain& gain = busGains_[bus];
            if (gain.rampRemaining > 0) {
                --gain.rampRemaining;
                gain.current = gain.rampRemaining == 0 ? gain.target : gain.current + gain.step;
            }
            sample += buses[bus][i] * gain.current;
        }
        // Peak limiter: instant attack to exactly full scale, smooth release back to unity. The
        // gain reduction is kept rather than the gain, so the release really reaches zero.
        if (limiterReduction_ > 0.0f) {
            limiterReduction_ *= limiterRelease_;
            if (limiterReduction_ < 1e-7f) {
                limiterReduction_ = 0.0f;
            }
        }
        const float peak = std::fabs(sample);
        if (peak * (1.0f - limiterReduction_) > 1.0f) {
            limiterReduction_ = 1.0f - 1.0f / peak;
        }
        mono[i] = limiterReduction_ == 0.0f
                      ? sample
                      : std::clamp(sample * (1.0f - limiterReduction_), -1.0f, 1.0f);
    }
}

bool Mixer::isQuiet() const noexcept {
    for (const Voice& voice : voices_) {
        if (voice.current.active() || voice.fading.active()) {
            return false;
        }
    }
    return commands_.empty();
}

bool Mixer::armWake(RenderWaker& waker) noexcept {
    waker_.store(&waker, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (commands_.empty()) {
        return true;
    }
    // A command came in meanwhile. Whoever takes the waker back decides: this thread renders on,
    // or the producer already calls wake, and the sleep ends as soon as it starts.
    return waker_.exchange(nullptr) == nullptr;
}

void Mixer::disarmWake() noexcept {
    waker_.store(nullptr);
}

void Mixer::render(float* mono, std::size_t frames) noexcept {
    Command command;
    while (commands_.pop(command)) {
        apply(command);
        command.buffer.reset();  // play and loop moved it out; other commands carry none
    }
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t count = std::min(blockFrames, frames - done);
        renderBlock(mono + done, count);
        done += count;
    }
    renderedFrames_.fetch_add(frames, std::memory_order_relaxed);
}

}  // namespace tapwell

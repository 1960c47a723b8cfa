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

// Every buffer on the render side came through the command queue and is held by one slot; the slots
// are as many as the command queue plus two playbacks per voice, and a command that finds none free
// is dropped. The retire queue takes every slot twice over plus a full command queue of dropped
// buffers, so it cannot overflow between two collections in any likely run; should it, the slot
// keeps its buffer and tries again later.
Mixer::Mixer(std::size_t commandCapacity)
    : commands_(commandCapacity),
      retired_(3 * commandCapacity + 4 * voiceCount + 4),
      busScratch_(3 * blockFrames, 0.0f),
      discard_(blockFrames, 0.0f),
      slots_(commandCapacity + 2 * voiceCount + 2),
      snapshots_(snapshotCount) {
    limiterRelease_ = static_cast<float>(std::exp(-1.0 / (limiterReleaseSeconds * pcmSampleRate)));
    freeSlots_.reserve(slots_.size());
    pendingSlots_.reserve(slots_.size());
    for (std::size_t i = slots_.size(); i-- > 0;) {
        freeSlots_.push_back(static_cast<std::uint32_t>(i));
    }
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

std::uint32_t Mixer::hold(SharedPcmBuffer&& buffer) noexcept {
    const std::uint32_t index = freeSlots_.back();
    freeSlots_.pop_back();
    Slot& slot = slots_[index];
    slot.buffer = std::move(buffer);
    slot.neededUntil = 0;
    slot.liveRefs = 1;
    slot.pending = false;
    return index;
}

void Mixer::retain(const Playback& playback) noexcept {
    if (playback.slot != noSlot) {
        ++slots_[playback.slot].liveRefs;
    }
}

void Mixer::release(Playback& playback) noexcept {
    if (playback.slot != noSlot) {
        Slot& slot = slots_[playback.slot];
        if (--slot.liveRefs == 0 && !slot.pending) {
            slot.pending = true;
            pendingSlots_.push_back(playback.slot);  // within the capacity reserved up front
        }
    }
    playback = Playback{};
}

void Mixer::retireUnneeded() noexcept {
    // A restore starts from the snapshot of the committed frame's block or a later one.
    const std::uint64_t floor =
        rewindWindow_ == 0 ? position_ + 1 : committed_ / blockFrames * blockFrames;
    for (std::size_t i = 0; i < pendingSlots_.size();) {
        const std::uint32_t index = pendingSlots_[i];
        Slot& slot = slots_[index];
        bool done = slot.liveRefs > 0;  // a restore took it back
        if (!done && slot.neededUntil <= floor && retired_.push(slot.buffer)) {
            freeSlots_.push_back(index);
            done = true;
        }
        if (done) {
            slot.pending = false;
            pendingSlots_[i] = pendingSlots_.back();
            pendingSlots_.pop_back();
        } else {
            ++i;
        }
    }
}

void Mixer::cutOff(Voice& voice) noexcept {
    if (!voice.current.active()) {
        return;
    }
    release(voice.fading);
    voice.fading = voice.current;  // the slot's live reference moves with it
    voice.current = Playback{};
    voice.fadeRemaining = fadeOutFrames;
}

void Mixer::apply(Command& command) noexcept {
    switch (command.type) {
        case Command::Type::none:
            break;
        case Command::Type::play:
        case Command::Type::loop: {
            if (freeSlots_.empty()) {
                retireUnneeded();
            }
            if (freeSlots_.empty()) {
                droppedCommands_.fetch_add(1, std::memory_order_relaxed);
                retired_.push(command.buffer);
                break;
            }
            Voice& voice = voices_[command.voice];
            cutOff(voice);
            Playback& playback = voice.current;
            playback.data = command.buffer->samples.data();
            playback.length = command.buffer->samples.size();
            playback.slot = hold(std::move(command.buffer));
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

bool Mixer::anyVoiceSounds() const noexcept {
    return std::any_of(voices_.begin(), voices_.end(), [](const Voice& voice) {
        return voice.current.active() || voice.fading.active();
    });
}

void Mixer::renderBlock(float* mono, std::size_t frames) noexcept {
    // Steady gains and the limiter at rest, as nearly always. Rendering the voices changes neither.
    const bool steady = limiterReduction_ == 0.0f &&
                        std::all_of(busGains_.begin(), busGains_.end(),
                                    [](const BusGain& gain) { return gain.rampRemaining == 0; });
    if (steady && !anyVoiceSounds()) {
        // Nothing sounds and nothing moves: silence, as the sum below would give. Most of what a
        // stream queues ahead between two keys is this.
        std::fill(mono, mono + frames, 0.0f);
        return;
    }
    float* buses[3] = {busScratch_.data(), busScratch_.data() + blockFrames,
                       busScratch_.data() + 2 * blockFrames};
    std::fill(busScratch_.begin(), busScratch_.end(), 0.0f);
    for (std::size_t v = 0; v < voiceCount; ++v) {
        renderVoice(voices_[v], buses[static_cast<std::size_t>(busOf(v))], frames);
    }
    std::size_t i = 0;
    if (steady) {
        // A plain weighted sum the compiler vectorises, up to the first frame the limiter has to
        // catch. The sum is the same as the frame-by-frame loop's, term by term.
        const float g0 = busGains_[0].current, g1 = busGains_[1].current, g2 = busGains_[2].current;
        for (std::size_t k = 0; k < frames; ++k) {
            mono[k] = 0.0f + buses[0][k] * g0 + buses[1][k] * g1 + buses[2][k] * g2;
        }
        while (i < frames && std::fabs(mono[i]) <= 1.0f) {
            ++i;
        }
    }
    for (; i < frames; ++i) {
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
    return !anyVoiceSounds() && commands_.empty();
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

void Mixer::applyWaitingCommands() noexcept {
    Command command;
    bool applied = false;
    while (commands_.pop(command)) {
        apply(command);
        command.buffer.reset();  // play and loop moved it out; other commands carry none
        applied = true;
    }
    if (applied) {
        // A rewind may come back to this very frame, and must find the commands applied.
        lastCommandFrame_ = position_;
        takeSnapshot();
    }
}

void Mixer::takeSnapshot() noexcept {
    if (rewindWindow_ == 0) {
        return;
    }
    // One per block: the boundary, or the latest frame in the block where commands were applied.
    Snapshot& snapshot = snapshots_[(position_ / blockFrames) % snapshots_.size()];
    snapshot.frame = position_;
    snapshot.valid = true;
    snapshot.busGains = busGains_;
    snapshot.gainsSet = gainsSet_;
    snapshot.limiterReduction = limiterReduction_;
    // Between keys most blocks are silent; their snapshots keep no voices (every voice is idle).
    snapshot.silent = !anyVoiceSounds();
    if (snapshot.silent) {
        return;
    }
    snapshot.voices = voices_;
    for (const Voice& voice : voices_) {
        for (const Playback* playback : {&voice.current, &voice.fading}) {
            if (playback->slot != noSlot) {
                Slot& slot = slots_[playback->slot];
                slot.neededUntil = std::max(slot.neededUntil, position_ + 1);
            }
        }
    }
}

void Mixer::renderFrames(float* mono, std::size_t frames) noexcept {
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t count = std::min(
            frames - done, blockFrames - static_cast<std::size_t>(position_ % blockFrames));
        renderBlock(mono + done, count);
        done += count;
        position_ += count;
        if (position_ % blockFrames == 0) {
            takeSnapshot();
        }
    }
}

void Mixer::render(float* mono, std::size_t frames) noexcept {
    applyWaitingCommands();
    renderAhead(mono, frames);
}

void Mixer::renderAhead(float* mono, std::size_t frames) noexcept {
    renderFrames(mono, frames);
    // Snapshots older than the window are gone, whether or not the output said so.
    if (position_ > rewindWindow_) {
        committed_ = std::max(committed_, position_ - rewindWindow_);
    }
    retireUnneeded();
    renderedFrames_.store(position_, std::memory_order_relaxed);
}

std::size_t Mixer::setRewindWindow(std::size_t frames) noexcept {
    rewindWindow_ = std::min(frames, maxRewindFrames);
    committed_ = position_;
    for (Snapshot& snapshot : snapshots_) {
        snapshot.valid = false;
    }
    takeSnapshot();
    return rewindWindow_;
}

std::uint64_t Mixer::rewindTo(std::uint64_t frame) noexcept {
    frame = std::clamp(frame, std::max(committed_, lastCommandFrame_), position_);
    if (rewindWindow_ == 0 || frame == position_) {
        return position_;
    }
    const std::uint64_t blockStart = frame / blockFrames * blockFrames;
    const Snapshot& snapshot = snapshots_[(frame / blockFrames) % snapshots_.size()];
    if (!snapshot.valid || snapshot.frame < blockStart || snapshot.frame > frame) {
        return position_;
    }
    // Retain before releasing, so that a slot both states share never looks unneeded.
    if (!snapshot.silent) {
        for (const Voice& voice : snapshot.voices) {
            retain(voice.current);
            retain(voice.fading);
        }
    }
    for (Voice& voice : voices_) {
        release(voice.current);
        release(voice.fading);
    }
    if (snapshot.silent) {
        voices_.fill(Voice{});
    } else {
        voices_ = snapshot.voices;
    }
    busGains_ = snapshot.busGains;
    gainsSet_ = snapshot.gainsSet;
    limiterReduction_ = snapshot.limiterReduction;
    position_ = snapshot.frame;
    // The frames up to `frame` come out as before (no command in between); only the state counts.
    while (position_ < frame) {
        renderFrames(discard_.data(), static_cast<std::size_t>(
                                          std::min<std::uint64_t>(blockFrames, frame - position_)));
    }
    renderedFrames_.store(position_, std::memory_order_relaxed);
    return position_;
}

void Mixer::commit(std::uint64_t frame) noexcept {
    committed_ = std::max(committed_, std::min(frame, position_));
}

}  // namespace tapwell

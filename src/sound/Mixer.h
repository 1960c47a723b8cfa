#pragma once
// The render-thread side of the sound engine: a fixed set of voices on three buses (typing,
// alerts, ambience) summed into one mono main mix.
//
// The engine's queue (the producer) sends commands through a lock-free single-producer,
// single-consumer queue; `render` (the consumer, on the output's render thread) applies them at
// the start of the next block, so a sound scheduled now starts at the first frame of the next
// render call. `render` never locks, allocates, logs or touches files. Every buffer a voice plays
// is held by a shared pointer that travels to the render thread with its command and travels back
// through a second queue when the voice lets go of it, so the last reference is always dropped on
// the producer side (`collectRetired`).
//
// An output may sleep while the mixer is quiet (see `RenderSource`): every command pushed while it
// sleeps wakes it, at the cost of one flag test per command while it is awake.
//
// An output that queues far ahead of what is heard can have the mixer render again from a frame it
// already rendered (`rewindTo`), so that a new sound starts just ahead of what plays instead of
// behind the queue. At every block boundary inside the rewind window the mixer keeps a snapshot of
// its state (voice positions, fades, bus ramps, the limiter); a rewind restores the one before the
// frame and renders silently up to it. Snapshots name buffers by slot, and a slot keeps its buffer
// until no snapshot at or after the committed frame can refer to it, so a restore never finds a
// buffer gone and the render thread still never drops the last reference.
//
// Click-free by construction: bus gain changes ramp linearly over 5 ms, a sound that is cut off
// (by a newer sound on its voice or by a stop) fades out over 1 ms while the newer one starts at
// once, and a peak limiter on the main mix keeps overlapping voices from clipping. The limiter is
// transparent: below full scale the main mix passes bit for bit.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sound/AudioOutput.h"
#include "sound/PcmBuffer.h"
#include "sound/SpscQueue.h"

namespace tapwell {

enum class MixerBus : std::uint8_t { typing, alert, ambience };

class Mixer final : public RenderSource {
  public:
    static constexpr std::size_t typingVoiceCount = 12;
    static constexpr std::size_t previewVoiceCount = 2;
    static constexpr std::size_t alertVoiceCount = 4;
    static constexpr std::size_t voiceCount =
        typingVoiceCount + previewVoiceCount + alertVoiceCount + 1;

    // Voice numbers: typing voices first, then preview, alert and the ambience player.
    static constexpr std::size_t typingVoice(std::size_t i) { return i; }
    static constexpr std::size_t previewVoice(std::size_t i) { return typingVoiceCount + i; }
    static constexpr std::size_t alertVoice(std::size_t i) {
        return typingVoiceCount + previewVoiceCount + i;
    }
    static constexpr std::size_t ambienceVoice = voiceCount - 1;
    static MixerBus busOf(std::size_t voice);

    static constexpr std::size_t gainRampFrames = pcmSampleRate / 200;  // 5 ms
    static constexpr std::size_t fadeOutFrames = pcmSampleRate / 1000;  // 1 ms

    explicit Mixer(std::size_t commandCapacity = 1024);
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    // Producer side, one thread at a time. Each returns false when the command queue is full
    // (the render thread has not run for a long while); the command is then dropped.

    // Plays `buffer` on `voice` from its start at `gain`, cutting off what the voice played.
    bool play(std::size_t voice, SharedPcmBuffer buffer, float gain);
    // Like play, but repeats the buffer until the voice is stopped or given something else.
    bool loop(std::size_t voice, SharedPcmBuffer buffer, float gain);
    // Cuts off what the voice plays.
    bool stop(std::size_t voice);
    // Output gains of the three buses (linear).
    bool setBusGains(float typing, float alert, float ambience);
    // Drops the buffers the render thread let go of. Called by every producer operation as well.
    void collectRetired();

    // Consumer side: the render thread.
    void render(float* mono, std::size_t frames) noexcept override;
    void renderAhead(float* mono, std::size_t frames) noexcept override;
    bool hasCommands() const noexcept override { return !commands_.empty(); }
    std::uint64_t position() const noexcept override { return position_; }
    std::size_t setRewindWindow(std::size_t frames) noexcept override;
    std::uint64_t rewindTo(std::uint64_t frame) noexcept override;
    void commit(std::uint64_t frame) noexcept override;
    // No voice sounds (or fades) and no command waits.
    bool isQuiet() const noexcept override;
    bool armWake(RenderWaker& waker) noexcept override;
    void disarmWake() noexcept override;

    // The longest rewind window: about a third of a second.
    static constexpr std::size_t maxRewindFrames = 64 * 256;

    // Any thread: the frame the next render starts at (it goes back on a rewind), and commands
    // lost to a full queue.
    std::uint64_t renderedFrames() const { return renderedFrames_.load(std::memory_order_relaxed); }
    std::uint64_t droppedCommands() const {
        return droppedCommands_.load(std::memory_order_relaxed);
    }

  private:
    struct Command {
        enum class Type : std::uint8_t { none, play, loop, stop, gains };
        Type type = Type::none;
        std::uint8_t voice = 0;
        float gain = 1.0f;
        std::array<float, 3> busGains{};
        SharedPcmBuffer buffer;
    };

    static constexpr std::uint32_t noSlot = 0xffffffffu;

    // Trivially copyable, so a snapshot is a plain copy; the buffer itself is held by its slot.
    struct Playback {
        std::uint32_t slot = noSlot;
        const PcmBuffer::Sample* data = nullptr;
        std::size_t length = 0;
        std::size_t position = 0;
        float gain = 1.0f;
        bool loop = false;

        bool active() const { return data != nullptr; }
    };

    struct Voice {
        Playback current;
        Playback fading;
        std::size_t fadeRemaining = 0;
    };

    struct BusGain {
        float current = 0.0f;
        float target = 0.0f;
        float step = 0.0f;
        std::size_t rampRemaining = 0;
    };

    // Owns one buffer for the voices and snapshots that refer to it.
    struct Slot {
        SharedPcmBuffer buffer;
        std::uint64_t neededUntil = 0;  // one past the latest snapshot frame that refers to it
        std::uint32_t liveRefs = 0;     // playbacks of the live state that refer to it
        bool pending = false;           // on the pending list: free once no snapshot needs it
    };

    struct Snapshot {
        std::uint64_t frame = 0;
        bool valid = false;
        bool silent = false;  // no voice sounded: `voices` is not kept, every one is idle
        std::array<Voice, voiceCount> voices{};
        std::array<BusGain, 3> busGains{};
        bool gainsSet = false;
        float limiterReduction = 0.0f;
    };

    static constexpr std::size_t blockFrames = 256;  // also the distance between snapshots
    static constexpr std::size_t snapshotCount = maxRewindFrames / blockFrames + 2;

    bool send(Command& command);
    // A play or loop command for `voice`; false for a bad voice or an empty buffer.
    bool schedule(Command::Type type, std::size_t voice, SharedPcmBuffer buffer, float gain);
    void apply(Command& command) noexcept;
    void release(Playback& playback) noexcept;
    void cutOff(Voice& voice) noexcept;
    void renderVoice(Voice& voice, float* bus, std::size_t frames) noexcept;
    void renderBlock(float* mono, std::size_t frames) noexcept;
    bool anyVoiceSounds() const noexcept;
    void renderFrames(float* mono, std::size_t frames) noexcept;
    void applyWaitingCommands() noexcept;
    std::uint32_t hold(SharedPcmBuffer&& buffer) noexcept;
    void retain(const Playback& playback) noexcept;
    void takeSnapshot() noexcept;
    void retireUnneeded() noexcept;

    SpscQueue<Command> commands_;
    SpscQueue<SharedPcmBuffer> retired_;

    // Render-thread state.
    std::array<Voice, voiceCount> voices_{};
    std::array<BusGain, 3> busGains_{};
    bool gainsSet_ = false;
    float limiterReduction_ = 0.0f;  // 1 - limiter gain
    float limiterRelease_ = 0.0f;    // per-frame decay of the reduction
    std::vector<float> busScratch_;  // three buses of blockFrames each, allocated once
    std::vector<float> discard_;     // blockFrames: what a rewind renders again and throws away

    // Rewinds (render thread). All of it is allocated once, in the constructor.
    std::vector<Slot> slots_;
    std::vector<std::uint32_t> freeSlots_;
    std::vector<std::uint32_t> pendingSlots_;
    std::vector<Snapshot> snapshots_;
    std::uint64_t position_ = 0;
    std::uint64_t committed_ = 0;         // frames before it are never rendered again
    std::uint64_t lastCommandFrame_ = 0;  // a rewind never goes before a command it applied
    std::size_t rewindWindow_ = 0;

    // Set while the output sleeps; the producer takes it out and calls it after its next push.
    std::atomic<RenderWaker*> waker_{nullptr};

    std::atomic<std::uint64_t> renderedFrames_{0};
    std::atomic<std::uint64_t> droppedCommands_{0};
};

}  // namespace tapwell

#pragma once
// Where an output that queues far ahead of what is heard starts writing again when a new sound
// comes: just ahead of the frame playing now, so that the sound is heard at once instead of behind
// the queue, and the server still gets the new frames before it plays them.
//
// Frames are counted in the source's frames. A start is never before one given earlier (what was
// applied there must not be taken back), never before the earliest frame the server still takes,
// never past what was written. Every start it gives, and everything before it, is final: the
// source may let go of what it kept to render those frames again.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace tapwell {

class WriteAheadPlan {
  public:
    // `marginFrames`: how far ahead of the frame playing a rewrite starts; it covers the write's
    // way to the server and the server's way to the frames it holds.
    explicit WriteAheadPlan(std::size_t marginFrames) : margin_(marginFrames) {}

    // The frame to write again from, given the frame playing now (none when the server has not
    // said), the earliest frame the server can still replace (0 where it takes back any frame it
    // has not played) and the frame written up to. Equal to `written` when nothing can be
    // rewritten; then, unless the frame playing is unknown, the start and all before it are final.
    // `paused`: the server plays nothing until the write has arrived, so no margin is needed.
    std::uint64_t rewriteFrom(std::optional<std::uint64_t> playing, std::uint64_t serverFloor,
                              std::uint64_t written, bool paused = false);

    // Frames before it are final.
    std::uint64_t committed() const { return floor_; }

    // The source went back to `frame` or came to it on its own (a new stream, a reset): rewrites
    // start there at the earliest.
    void restart(std::uint64_t frame) { floor_ = frame; }

  private:
    std::size_t margin_;
    std::uint64_t floor_ = 0;
};

// The quantum a server's graph takes from a stream's queue each cycle, learnt from the read
// positions the server reports: every step between two of them is a whole number of quanta, so
// the quantum is the greatest common divisor of the recent steps. Recent ones only, so that a
// quantum that grows (another stream that asked for a smaller one went away) is seen again.
class GraphQuantum {
  public:
    // `assumed` until two steps were seen; never below `smallest` or above `largest`.
    GraphQuantum(std::size_t assumed, std::size_t smallest, std::size_t largest)
        : assumed_(assumed), smallest_(smallest), largest_(largest) {}

    // A read position the server reported, in frames. One that did not move tells nothing; one
    // that went back starts a new run (a new stream).
    void read(std::uint64_t frame);

    std::size_t quantum() const;

  private:
    static constexpr std::size_t kept = 8;
    std::size_t assumed_, smallest_, largest_;
    std::optional<std::uint64_t> last_;
    std::array<std::uint64_t, kept> steps_{};
    std::size_t count_ = 0;  // steps seen, of which the last `kept` are in `steps_`
};

}  // namespace tapwell

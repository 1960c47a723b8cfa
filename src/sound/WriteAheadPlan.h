#pragma once
// Where an output that queues far ahead of what is heard starts writing again when a new sound
// comes: just ahead of the frame playing now, so that the sound is heard at once instead of behind
// the queue, and the server still gets the new frames before it plays them.
//
// Frames are counted in the source's frames. A start is never before one given earlier (what was
// applied there must not be taken back), never before the earliest frame the server still takes,
// never past what was written. Every start it gives, and everything before it, is final: the
// source may let go of what it kept to render those frames again.

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
    std::uint64_t rewriteFrom(std::optional<std::uint64_t> playing, std::uint64_t serverFloor,
                              std::uint64_t written);

    // Frames before it are final.
    std::uint64_t committed() const { return floor_; }

    // The source went back to `frame` or came to it on its own (a new stream, a reset): rewrites
    // start there at the earliest.
    void restart(std::uint64_t frame) { floor_ = frame; }

  private:
    std::size_t margin_;
    std::uint64_t floor_ = 0;
};

}  // namespace tapwell

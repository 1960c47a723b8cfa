#pragma once
// Decides when an output may stop pulling its source: once the source has been quiet (no voice
// sounding, no command waiting) for `idleFrames` frames in a row. Time is counted in the frames
// the output rendered, so the decision is the same on a device, a clock or in a test.

#include <cstddef>

#include "sound/PcmBuffer.h"

namespace tapwell {

class SilenceTracker {
  public:
    // Long enough that a typist's pauses between words and sentences keep the output running (the
    // first sound after a sleep comes a little later), short enough that an idle program soon
    // costs nothing.
    static constexpr std::size_t defaultIdleFrames = 2 * pcmSampleRate;

    explicit SilenceTracker(std::size_t idleFrames = defaultIdleFrames);

    // After each rendered period, with the source's word on whether it is quiet now. True once,
    // when the quiet run reaches `idleFrames`: the output should go to sleep.
    bool rendered(std::size_t frames, bool quiet);
    // The output woke up or decided not to sleep after all: the count starts over.
    void reset() { quietFrames_ = 0; }

    std::size_t quietFrames() const { return quietFrames_; }

  private:
    std::size_t idleFrames_;
    std::size_t quietFrames_ = 0;
};

}  // namespace tapwell

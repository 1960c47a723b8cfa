#include "sound/SilenceTracker.h"

#include <algorithm>

namespace tapwell {

SilenceTracker::SilenceTracker(std::size_t idleFrames)
    : idleFrames_(std::max<std::size_t>(idleFrames, 1)) {}

bool SilenceTracker::rendered(std::size_t frames, bool quiet) {
    if (!quiet) {
        quietFrames_ = 0;
        return false;
    }
    if (quietFrames_ >= idleFrames_) {
        return false;  // said so already
    }
    // Capped, so that a long quiet run cannot overflow the count.
    quietFrames_ = std::min(idleFrames_, quietFrames_ + std::min(frames, idleFrames_));
    return quietFrames_ == idleFrames_;
}

}  // namespace tapwell

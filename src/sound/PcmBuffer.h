#pragma once
// A decoded block of audio in the one format the mixer plays: mono 32-bit float samples at
// `pcmSampleRate`. Shared and never modified after decoding, so any thread may read it.

#include <cstddef>
#include <memory>
#include <vector>

namespace tapwell {

inline constexpr int pcmSampleRate = 48000;

struct PcmBuffer {
    std::vector<float> samples;  // one sample per frame

    std::size_t frameLength() const { return samples.size(); }
};

using SharedPcmBuffer = std::shared_ptr<const PcmBuffer>;

}  // namespace tapwell

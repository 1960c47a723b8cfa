#pragma once
// The sample-rate converter over libsoxr: linked by tests, tools and the fuzzer, and loaded by the
// program as a module of its own (see Resampler.h). Needs nothing of the program but the
// Resampler header.

#include "sound/Resampler.h"

namespace tapwell {

struct SoxrResampler {
    // A Resampler::Function at libsoxr's high quality; its errors have the domain "libsoxr".
    static std::expected<std::size_t, Error> convert(std::span<const float> input, double fromRate,
                                                     double toRate, std::span<float> output);
};

}  // namespace tapwell

#pragma once
// The program converts sound files of another rate than the output's through the sample-rate
// converter module (sound/Resampler.h), loaded on the first such file.

#include "sound/Resampler.h"

namespace tapwell {

// A Resampler::Function: loads the module (once) and converts with it; an error naming libsoxr
// when it cannot be loaded.
std::expected<std::size_t, Error> resampleThroughModule(std::span<const float> input,
                                                        double fromRate, double toRate,
                                                        std::span<float> output);

}  // namespace tapwell

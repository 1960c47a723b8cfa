#pragma once
// Converting decoded samples to the output's rate, behind a function the program installs. The
// program keeps libsoxr, which does it, in a module loaded on the first file of another rate
// (app/ResamplerModule.h), so that a run of 48 kHz themes never maps it. Tests, tools and the
// fuzzer install SoxrResampler directly.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>

#include "core/Error.h"

namespace tapwell {

class Resampler {
  public:
    // Converts mono `input` at `fromRate` into `output` at `toRate`, the filter's tail included;
    // returns the frames written (at most output.size()), or the converter's own error.
    using Function = std::expected<std::size_t, Error> (*)(std::span<const float> input,
                                                           double fromRate, double toRate,
                                                           std::span<float> output);

    // Installs the converter before the first file that needs it. Without one, such files fail
    // with `noConverterCode`.
    static void use(Function function);
    static std::expected<std::size_t, Error> convert(std::span<const float> input, double fromRate,
                                                     double toRate, std::span<float> output);

    static constexpr std::int64_t noConverterCode = -3;
    // Why a file of `fromRate` cannot be converted when the converter is missing (`reason`):
    // domain "audio", `noConverterCode`, and a text naming the library.
    static Error unavailable(double fromRate, const std::string& reason);
};

// The module that holds SoxrResampler, and its entry: a `ResamplerModuleEntry` returning the
// converter.
inline constexpr const char* resamplerModuleFile = "libtapwell-soxr.so";
inline constexpr const char* resamplerModuleEntry = "tapwell_soxr_module";
using ResamplerModuleEntry = Resampler::Function (*)();

}  // namespace tapwell

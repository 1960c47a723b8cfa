#include "sound/Resampler.h"

#include <atomic>
#include <cmath>
#include <string>

namespace tapwell {
namespace {

std::atomic<Resampler::Function> installedFunction{nullptr};

}  // namespace

void Resampler::use(Function function) {
    installedFunction = function;
}

std::expected<std::size_t, Error> Resampler::convert(std::span<const float> input, double fromRate,
                                                     double toRate, std::span<float> output) {
    const Function function = installedFunction;
    if (function == nullptr) {
        return std::unexpected(unavailable(fromRate, "none is installed"));
    }
    return function(input, fromRate, toRate, output);
}

Error Resampler::unavailable(double fromRate, const std::string& reason) {
    return Error{
        "audio", noConverterCode,
        "a sound file at " + std::to_string(std::lround(fromRate)) +
            " Hz needs the sample-rate converter libsoxr, which cannot be loaded: " + reason};
}

}  // namespace tapwell

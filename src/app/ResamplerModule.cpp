#include "app/ResamplerModule.h"

#include "platform/PlatformServices.h"

namespace tapwell {

std::expected<std::size_t, Error> resampleThroughModule(std::span<const float> input,
                                                        double fromRate, double toRate,
                                                        std::span<float> output) {
    auto convert =
        callProgramModule<ResamplerModuleEntry>(resamplerModuleFile, resamplerModuleEntry);
    if (!convert) {
        return std::unexpected(Resampler::unavailable(fromRate, convert.error()));
    }
    return (*convert)(input, fromRate, toRate, output);
}

}  // namespace tapwell

#include "sound/SoxrResampler.h"

#include <soxr.h>

namespace tapwell {

std::expected<std::size_t, Error> SoxrResampler::convert(std::span<const float> input,
                                                         double fromRate, double toRate,
                                                         std::span<float> output) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    std::size_t consumed = 0;
    std::size_t produced = 0;
    const soxr_error_t error =
        soxr_oneshot(fromRate, toRate, 1, input.data(), input.size(), &consumed, output.data(),
                     output.size(), &produced, &io, &quality, nullptr);
    if (error != nullptr) {
        return std::unexpected(Error{"libsoxr", 1, error});
    }
    return produced;
}

}  // namespace tapwell

// The entry of the sample-rate converter module (libtapwell-soxr.so): SoxrResampler, with libsoxr,
// for a program that loads it on the first file of another rate than the output's (see
// Resampler.h).

#include "sound/SoxrResampler.h"

extern "C" __attribute__((visibility("default"))) tapwell::Resampler::Function
tapwell_soxr_module() {
    return &tapwell::SoxrResampler::convert;
}

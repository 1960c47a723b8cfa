#include "WavOnsets.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <algorithm>
#include <cmath>

namespace tapwell::test {

std::vector<double> onsets(const std::filesystem::path& wav) {
    SF_INFO info{};
    SNDFILE* file = sf_open(wav.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        ADD_FAILURE() << "cannot open " << wav << ": " << sf_strerror(nullptr);
        return {};
    }
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    const std::size_t window = static_cast<std::size_t>(info.samplerate) / 200;
    const float threshold = 0.01f;
    std::vector<double> found;
    std::size_t quietWindows = 8;
    for (std::size_t start = 0; start + window <= samples.size() / info.channels; start += window) {
        float peak = 0;
        for (std::size_t i = start; i < start + window; ++i) {
            peak = std::max(peak, std::abs(samples[i * info.channels]));
        }
        if (peak > threshold) {
            if (quietWindows >= 8) {
                found.push_back(static_cast<double>(start) / info.samplerate);
            }
            quietWindows = 0;
        } else {
            ++quietWindows;
        }
    }
    return found;
}

}  // namespace tapwell::test

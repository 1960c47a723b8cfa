#pragma once
// A decoded block of audio in the one format the mixer plays: mono 16-bit samples at
// `pcmSampleRate`, which the mixer turns into floats as it reads them. Sixteen bits are what
// sound files carry and half the memory of floats: every theme's key sounds stay decoded for the
// whole run. Shared and never modified after decoding, so any thread may read it.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace tapwell {

inline constexpr int pcmSampleRate = 48000;

struct PcmBuffer {
    using Sample = std::int16_t;
    // Full scale: a float sample of 1.0 is this; the mixer multiplies by its inverse.
    static constexpr float fullScale = 32768.0f;
    static constexpr float toFloatScale = 1.0f / fullScale;

    std::vector<Sample> samples;  // one sample per frame

    std::size_t frameLength() const { return samples.size(); }

    // The nearest 16-bit value; beyond full scale is clipped. NaN becomes silence.
    static Sample quantize(float sample) {
        const float scaled = std::nearbyint(sample * fullScale);
        if (!(scaled > -fullScale)) {
            return scaled == scaled ? static_cast<Sample>(-32768) : Sample{0};
        }
        return scaled >= fullScale - 1.0f ? static_cast<Sample>(32767)
                                          : static_cast<Sample>(scaled);
    }
    static float toFloat(Sample sample) { return static_cast<float>(sample) * toFloatScale; }

    static PcmBuffer fromFloats(std::span<const float> floats) {
        PcmBuffer buffer;
        buffer.samples.reserve(floats.size());
        for (const float sample : floats) {
            buffer.samples.push_back(quantize(sample));
        }
        return buffer;
    }
    std::vector<float> toFloats() const {
        std::vector<float> floats;
        floats.reserve(samples.size());
        for (const Sample sample : samples) {
            floats.push_back(toFloat(sample));
        }
        return floats;
    }
};

using SharedPcmBuffer = std::shared_ptr<const PcmBuffer>;

}  // namespace tapwell

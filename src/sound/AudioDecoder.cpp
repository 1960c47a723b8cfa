#include "sound/AudioDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>

#include "sound/Resampler.h"
#include "themes/AudioFileReader.h"

namespace tapwell {

namespace {

constexpr double largestFrameCount = 4294967295.0;  // the largest 32-bit unsigned value

}  // namespace

std::expected<std::vector<float>, AudioLoadError> decodeAudioSamples(
    const std::filesystem::path& path, double longestSeconds) {
    auto file = AudioFileReader::open(path);
    if (!file) {
        return std::unexpected(std::move(file.error()));
    }
    const SampleInfo info = (*file)->info();
    if (info.frames <= 0 || static_cast<double>(info.frames) >= largestFrameCount) {
        return std::unexpected(AudioError::invalidFile);
    }
    if (info.channels < 1 || info.channels > SampleLimits::maxChannels ||
        info.sampleRate < SampleLimits::minSampleRate ||
        info.sampleRate > SampleLimits::maxSampleRate) {
        return std::unexpected(AudioError::invalidFormat);
    }
    // Both what is read and what the conversion writes follow from the header's length and rate,
    // so this bounds every allocation below.
    if (info.seconds() > longestSeconds) {
        return std::unexpected(AudioError::invalidFile);
    }

    const auto channels = static_cast<std::size_t>(info.channels);
    const auto frames = static_cast<std::size_t>(info.frames);
    std::vector<float> interleaved;
    try {
        interleaved.resize(frames * channels);
    } catch (const std::bad_alloc&) {
        return std::unexpected(AudioError::invalidFile);
    } catch (const std::length_error&) {
        return std::unexpected(AudioError::invalidFile);
    }
    // Some compressed formats only estimate their length; a shorter read without an error is
    // the real length.
    auto read = (*file)->readFrames(interleaved.data(), frames);
    if (!read) {
        return std::unexpected(std::move(read.error()));
    }
    const std::size_t readFrames = std::min(*read, frames);

    std::vector<float> mono;
    if (channels == 1) {
        interleaved.resize(readFrames);
        mono = std::move(interleaved);
    } else {
        mono.resize(readFrames);
        const float scale = 1.0f / static_cast<float>(channels);
        for (std::size_t frame = 0; frame < readFrames; ++frame) {
            float sum = 0.0f;
            for (std::size_t channel = 0; channel < channels; ++channel) {
                sum += interleaved[frame * channels + channel];
            }
            mono[frame] = sum * scale;
        }
        interleaved = {};
    }

    if (info.sampleRate == pcmSampleRate) {
        if (mono.empty()) {
            return std::unexpected(AudioError::conversionFailed);
        }
        return mono;
    }
    if (info.sampleRate <= 0) {
        return std::unexpected(AudioError::invalidFormat);
    }

    // The converter flushes its filter tail into the extra room.
    const double capacity = std::ceil(static_cast<double>(pcmSampleRate) *
                                      static_cast<double>(mono.size()) / info.sampleRate) +
                            1024.0;
    if (capacity >= largestFrameCount) {
        return std::unexpected(AudioError::invalidFormat);
    }
    std::vector<float> output;
    try {
        output.resize(static_cast<std::size_t>(capacity));
    } catch (const std::bad_alloc&) {
        return std::unexpected(AudioError::invalidFormat);
    }

    auto produced = Resampler::convert(mono, static_cast<double>(info.sampleRate),
                                       static_cast<double>(pcmSampleRate), output);
    if (!produced) {
        return std::unexpected(std::move(produced.error()));
    }
    if (*produced == 0) {
        return std::unexpected(AudioError::conversionFailed);
    }
    output.resize(std::min(*produced, output.size()));
    output.shrink_to_fit();
    return output;
}

std::expected<SharedPcmBuffer, AudioLoadError> decodeAudioFile(const std::filesystem::path& path,
                                                               double longestSeconds) {
    auto samples = decodeAudioSamples(path, longestSeconds);
    if (!samples) {
        return std::unexpected(std::move(samples.error()));
    }
    return std::make_shared<const PcmBuffer>(PcmBuffer::fromFloats(*samples));
}

std::expected<AudioFileInfo, AudioLoadError> probeAudioFile(const std::filesystem::path& path) {
    auto header = readSampleHeader(path);
    if (!header) {
        return std::unexpected(std::move(header.error()));
    }
    return AudioFileInfo{header->frames, header->sampleRate, header->channels};
}

}  // namespace tapwell

#pragma once
// Decodes one audio file (plain WAV, or any container and encoding libsndfile reads: AIFF, CAF,
// FLAC, Ogg Vorbis, Opus, MP3; see themes/AudioFileReader.h) into a mono buffer at 48 kHz: 16-bit
// for playing, float for analysing. Several channels are averaged to one; another sample rate is
// converted by the installed Resampler (sound/Resampler.h). Levels pass through unchanged: no
// trimming, normalising or fading. Runs on the thread that prepares the themes, never on the audio
// path.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <vector>

#include "sound/AudioError.h"
#include "sound/PcmBuffer.h"
#include "themes/SampleFile.h"

namespace tapwell {

// The header is checked before any memory is spent on the samples: channels and sample rate
// within SampleLimits, and a length of at most `longestSeconds`.
//
// Errors: the reader's open or read error (AudioFileReader), unchanged; `invalidFile` for a
// file of no frames, of 4294967295 frames or more, or longer than `longestSeconds`;
// `invalidFormat` for channels or a rate outside the limits or when the conversion cannot be set
// up; the converter's error, unchanged (domain "libsoxr", or Resampler::noConverterCode when it
// cannot be loaded); `conversionFailed` when the conversion gives no frames.
std::expected<SharedPcmBuffer, AudioLoadError> decodeAudioFile(
    const std::filesystem::path& path,
    double longestSeconds = SampleLimits::longestAmbienceSeconds);
// The same, as floats before they are rounded to 16 bits: for measuring and re-encoding sounds.
std::expected<std::vector<float>, AudioLoadError> decodeAudioSamples(
    const std::filesystem::path& path,
    double longestSeconds = SampleLimits::longestAmbienceSeconds);

// What a file holds, read from its header without decoding it: for refusing a file whose decoded
// form would be too large before any memory is spent on it.
struct AudioFileInfo {
    std::int64_t frames = 0;  // may be an estimate for compressed formats
    int sampleRate = 0;
    int channels = 0;

    double seconds() const { return sampleRate > 0 ? static_cast<double>(frames) / sampleRate : 0; }
};

// Fails with the reader's open error (AudioFileReader), unchanged.
std::expected<AudioFileInfo, AudioLoadError> probeAudioFile(const std::filesystem::path& path);

}  // namespace tapwell

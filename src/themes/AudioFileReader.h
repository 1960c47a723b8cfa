#pragma once
// Reading a sound file's header and samples, behind an interface. Plain WAV (what the built-in
// themes hold) is read by WavFileReader, built in; every other format goes to libsndfile, which
// with its codec libraries the program keeps in a module loaded on the first such file
// (app/AudioModule.h), so that a run of plain WAV themes never maps them. Tests, tools and the
// fuzzer install SndfileReader directly.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>

#include "core/Error.h"

namespace tapwell {

// A file's header: length in frames (an estimate for some compressed formats), rate, channels.
struct SampleInfo {
    std::int64_t frames = 0;
    int sampleRate = 0;
    int channels = 0;

    double seconds() const {
        return sampleRate > 0 ? static_cast<double>(frames) / sampleRate : 0.0;
    }
};

class AudioFileReader {
  public:
    using Opener =
        std::expected<std::unique_ptr<AudioFileReader>, Error> (*)(const std::filesystem::path&);

    virtual ~AudioFileReader() = default;
    virtual SampleInfo info() const = 0;
    // Up to `frames` interleaved frames as floats, integers scaled by their full range (a 16-bit
    // -32768 is -1.0); fewer at the end of the file, 0 after it. The error is the reader's own.
    virtual std::expected<std::size_t, Error> readFrames(float* interleaved,
                                                         std::size_t frames) = 0;

    // Installs the reader of every format but plain WAV, before any such file is opened. Without
    // one, those files fail with `noReaderCode`.
    static void useOpener(Opener opener);
    // Plain WAV through the built-in reader; everything else (other formats, and WAV files it
    // does not take, broken ones included) through the installed reader, errors unchanged.
    static std::expected<std::unique_ptr<AudioFileReader>, Error> open(
        const std::filesystem::path& path);

    static constexpr std::int64_t noReaderCode = -2;
};

// The module that holds SndfileReader, and its entry: an `AudioModuleEntry` returning the opener.
inline constexpr const char* audioModuleFile = "libtapwell-sndfile.so";
inline constexpr const char* audioModuleEntry = "tapwell_sndfile_module";
using AudioModuleEntry = AudioFileReader::Opener (*)();

}  // namespace tapwell

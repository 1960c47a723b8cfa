#pragma once
// The built-in reader of plain RIFF/WAVE files: 16, 24 or 32-bit integer or 32-bit float samples
// (also as WAVE_FORMAT_EXTENSIBLE), one or two channels, any rate. It takes a file only when it
// understands all of the header on the way to the samples; anything else it leaves to the other
// reader (AudioFileReader::open), so that broken or unusual files get that reader's verdict and
// the samples it takes come out exactly as the other reader gives them. A data chunk longer than
// the file holds is read as far as the file goes.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "themes/AudioFileReader.h"

namespace tapwell {

class WavFileReader final : public AudioFileReader {
  public:
    // The reader positioned at the first sample, or null when the file is not one it takes
    // (including a file that cannot be opened).
    static std::unique_ptr<AudioFileReader> open(const std::filesystem::path& path);
    ~WavFileReader() override;
    WavFileReader(const WavFileReader&) = delete;
    WavFileReader& operator=(const WavFileReader&) = delete;

    SampleInfo info() const override { return info_; }
    std::expected<std::size_t, Error> readFrames(float* interleaved, std::size_t frames) override;

  private:
    enum class Encoding { int16, int24, int32, float32 };
    WavFileReader() = default;

    std::FILE* file_ = nullptr;
    SampleInfo info_;
    Encoding encoding_ = Encoding::int16;
    std::size_t bytesPerFrame_ = 0;
    std::int64_t framesLeft_ = 0;
    std::vector<unsigned char> block_;
};

}  // namespace tapwell

#pragma once
// The reader of every format libsndfile knows (WAV, AIFF, CAF, FLAC, Ogg Vorbis, Opus, MP3):
// linked by tests, tools and the fuzzer, and loaded by the program as a module of its own (see
// AudioFileReader.h). Needs nothing of the program but the AudioFileReader header.

#include "themes/AudioFileReader.h"

namespace tapwell {

class SndfileReader final : public AudioFileReader {
  public:
    // Fails with libsndfile's open error (domain "libsndfile"), unchanged.
    static std::expected<std::unique_ptr<AudioFileReader>, Error> openFile(
        const std::filesystem::path& path);
    ~SndfileReader() override;
    SndfileReader(const SndfileReader&) = delete;
    SndfileReader& operator=(const SndfileReader&) = delete;

    SampleInfo info() const override { return info_; }
    std::expected<std::size_t, Error> readFrames(float* interleaved, std::size_t frames) override;

  private:
    SndfileReader() = default;
    void* file_ = nullptr;  // SNDFILE*, kept out of this header
    SampleInfo info_;
};

}  // namespace tapwell

#pragma once
// Writes mono 32-bit float WAV files at 48 kHz (a format chunk, a fact chunk with the length and
// the samples). Not thread-safe; used by one output at a time.

#include <cstddef>
#include <cstdio>
#include <expected>
#include <filesystem>
#include <memory>

#include "core/Error.h"

namespace tapwell {

class WavFileWriter {
  public:
    // The most frames a file takes: 4-byte samples, and room for the header within the 32-bit
    // sizes of the RIFF format. Writes beyond it fail.
    static constexpr std::size_t maxFrames = (0xFFFFFFFFull - 4096) / 4;

    // Creates (or truncates) the file. Fails with the system's error.
    static std::expected<std::unique_ptr<WavFileWriter>, Error> create(
        const std::filesystem::path& path);
    ~WavFileWriter();
    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;

    // Appends frames. With `keepHeaderCurrent`, the header's sizes are rewritten after them
    // (plain writes, no sync to disk): another process can watch the file grow, and a process
    // killed while recording leaves a valid WAV of everything written so far.
    std::expected<void, Error> write(const float* mono, std::size_t frames,
                                     bool keepHeaderCurrent = false);
    std::size_t framesWritten() const { return framesWritten_; }
    // Finishes the header; later writes fail. Called by the destructor as well.
    std::expected<void, Error> close();

  private:
    WavFileWriter() = default;
    std::expected<void, Error> writeHeader(std::size_t frames);

    std::FILE* file_ = nullptr;
    std::filesystem::path path_;
    std::size_t framesWritten_ = 0;
};

}  // namespace tapwell

#include "sound/WavFileWriter.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "sound/PcmBuffer.h"

namespace tapwell {

namespace {

constexpr std::uint32_t headerBytes = 58;  // RIFF + WAVE, fmt (18), fact (4), data's own header

void put16(unsigned char* at, std::uint16_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void put32(unsigned char* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

// Until the first write that keeps the header current, the header claims the largest length: a
// reader takes what the file holds, so a recorder killed early still leaves every sample readable.
constexpr std::uint32_t openEndedFrames = (0xFFFFFFFFu - headerBytes) / 4;

std::array<unsigned char, headerBytes> header(std::uint32_t frames) {
    std::array<unsigned char, headerBytes> bytes{};
    unsigned char* at = bytes.data();
    const std::uint32_t dataBytes = frames * 4;
    std::memcpy(at, "RIFF", 4);
    put32(at + 4, headerBytes - 8 + dataBytes);
    std::memcpy(at + 8, "WAVEfmt ", 8);
    put32(at + 16, 18);
    put16(at + 20, 3);  // IEEE float
    put16(at + 22, 1);
    put32(at + 24, pcmSampleRate);
    put32(at + 28, pcmSampleRate * 4);
    put16(at + 32, 4);
    put16(at + 34, 32);
    put16(at + 36, 0);  // no extension
    std::memcpy(at + 38, "fact", 4);
    put32(at + 42, 4);
    put32(at + 46, frames);
    std::memcpy(at + 50, "data", 4);
    put32(at + 54, dataBytes);
    return bytes;
}

Error closedError() {
    return Error{"posix", EBADF, "The file is closed."};
}

}  // namespace

std::expected<std::unique_ptr<WavFileWriter>, Error> WavFileWriter::create(
    const std::filesystem::path& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return std::unexpected(Error::posix(errno, path.string()));
    }
    std::unique_ptr<WavFileWriter> writer(new WavFileWriter());
    writer->file_ = file;
    writer->path_ = path;
    if (auto written = writer->writeHeader(openEndedFrames); !written) {
        return std::unexpected(std::move(written.error()));
    }
    return writer;
}

WavFileWriter::~WavFileWriter() {
    (void)close();
}

std::expected<void, Error> WavFileWriter::writeHeader(std::size_t frames) {
    const auto bytes = header(static_cast<std::uint32_t>(frames));
    if (std::fseek(file_, 0, SEEK_SET) != 0 ||
        std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() ||
        std::fseek(file_, 0, SEEK_END) != 0 || std::fflush(file_) != 0) {
        return std::unexpected(Error::posix(errno != 0 ? errno : EIO, path_.string()));
    }
    return {};
}

std::expected<void, Error> WavFileWriter::write(const float* mono, std::size_t frames,
                                                bool keepHeaderCurrent) {
    if (file_ == nullptr) {
        return std::unexpected(closedError());
    }
    if (frames > maxFrames - framesWritten_) {
        // The RIFF sizes are 32-bit: a longer file would be written with sizes that wrapped
        // round, and readers would see only what is left of them.
        return std::unexpected(
            Error{"posix", EFBIG, "A WAV file holds at most 4 GiB (about 6 hours of sound)."});
    }
    std::array<unsigned char, 4096> block{};
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t count = std::min(frames - done, block.size() / 4);
        for (std::size_t i = 0; i < count; ++i) {
            std::uint32_t raw = 0;
            std::memcpy(&raw, &mono[done + i], sizeof raw);
            put32(block.data() + 4 * i, raw);
        }
        errno = 0;
        if (std::fwrite(block.data(), 4, count, file_) != count) {
            return std::unexpected(Error::posix(errno != 0 ? errno : EIO, path_.string()));
        }
        done += count;
        framesWritten_ += count;
    }
    // Other processes see the samples at once; the header's sizes wait for the close unless they
    // are brought up to date here.
    if (keepHeaderCurrent) {
        return writeHeader(framesWritten_);
    }
    if (std::fflush(file_) != 0) {
        return std::unexpected(Error::posix(errno, path_.string()));
    }
    return {};
}

std::expected<void, Error> WavFileWriter::close() {
    if (file_ == nullptr) {
        return {};
    }
    auto written = writeHeader(framesWritten_);
    const int status = std::fclose(file_);
    const int closeErrno = errno;
    file_ = nullptr;
    if (!written) {
        return written;
    }
    if (status != 0) {
        return std::unexpected(Error::posix(closeErrno, path_.string()));
    }
    return {};
}

}  // namespace tapwell

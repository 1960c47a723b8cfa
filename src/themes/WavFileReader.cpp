#include "themes/WavFileReader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>

namespace tapwell {
namespace {

constexpr std::uint16_t formatPcm = 1;
constexpr std::uint16_t formatFloat = 3;
constexpr std::uint16_t formatExtensible = 0xFFFE;
// The GUID of an extensible format's subformat after its first two bytes (which hold the plain
// format tag): 0000xxxx-0000-0010-8000-00AA00389B71 as stored.
constexpr std::array<unsigned char, 14> subformatTail{0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                      0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr std::size_t framesPerBlock = 4096;

std::uint16_t u16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::uint32_t u32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

bool readExact(std::FILE* file, unsigned char* buffer, std::size_t size) {
    return std::fread(buffer, 1, size, file) == size;
}

// Forward only, so that a pipe reads as well as a file.
bool skip(std::FILE* file, std::int64_t bytes, bool seekable) {
    if (seekable) {
        return std::fseek(file, static_cast<long>(bytes), SEEK_CUR) == 0;
    }
    unsigned char scratch[4096];
    while (bytes > 0) {
        const auto part = static_cast<std::size_t>(std::min<std::int64_t>(bytes, sizeof scratch));
        if (!readExact(file, scratch, part)) {
            return false;
        }
        bytes -= static_cast<std::int64_t>(part);
    }
    return true;
}

// In a file, whether any chunk after the data chunk describes the samples again (a second data
// or format chunk): readers disagree on which one counts, so such a file is for the other reader.
bool describedAgainLater(std::FILE* file, std::int64_t at, std::int64_t fileSize) {
    // A chunk's name alone, its size cut off by the end of the file, counts too.
    while (at <= fileSize - 4) {
        unsigned char chunk[8];
        if (std::fseek(file, static_cast<long>(at), SEEK_SET) != 0 || !readExact(file, chunk, 4)) {
            return false;
        }
        if (std::memcmp(chunk, "data", 4) == 0 || std::memcmp(chunk, "fmt ", 4) == 0) {
            return true;
        }
        if (at > fileSize - 8 || !readExact(file, chunk + 4, 4)) {
            return false;
        }
        const std::uint32_t size = u32(chunk + 4);
        at += 8 + static_cast<std::int64_t>(size) + (size & 1U);
    }
    return false;
}

struct Format {
    std::uint16_t tag = 0;  // formatPcm or formatFloat, the extensible one resolved
    int channels = 0;
    int sampleRate = 0;
    int bits = 0;
};

// The "fmt " chunk's body, when it describes samples this reader takes.
std::optional<Format> parseFormat(const unsigned char* body, std::uint32_t size) {
    if (size < 16) {
        return std::nullopt;
    }
    Format format;
    format.tag = u16(body);
    const std::uint16_t channels = u16(body + 2);
    const std::uint32_t rate = u32(body + 4);
    const std::uint16_t blockAlign = u16(body + 12);
    const std::uint16_t bits = u16(body + 14);
    if (format.tag == formatExtensible) {
        if (size < 40 || u16(body + 16) < 22) {
            return std::nullopt;
        }
        const std::uint16_t validBits = u16(body + 18);
        if (validBits != bits ||
            !std::equal(subformatTail.begin(), subformatTail.end(), body + 26)) {
            return std::nullopt;
        }
        format.tag = u16(body + 24);
    }
    const bool integer = format.tag == formatPcm && (bits == 16 || bits == 24 || bits == 32);
    const bool floating = format.tag == formatFloat && bits == 32;
    if (!(integer || floating) || channels < 1 || channels > 2 || rate < 1 || rate > 0x7FFFFFFF ||
        blockAlign != channels * (bits / 8)) {
        return std::nullopt;
    }
    format.channels = channels;
    format.sampleRate = static_cast<int>(rate);
    format.bits = bits;
    return format;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::unique_ptr<AudioFileReader> WavFileReader::open(const std::filesystem::path& path) {
    std::error_code error;
    const bool regular = std::filesystem::is_regular_file(path, error);
    const auto length = regular ? std::filesystem::file_size(path, error) : 0;
    if (error) {
        return nullptr;
    }
    // A pipe's length is known only at its end: sizes are taken as they stand, and a short read
    // of the samples ends them.
    const std::int64_t fileSize =
        regular ? static_cast<std::int64_t>(length) : std::numeric_limits<std::int64_t>::max();
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    unsigned char riff[12];
    if (!file || fileSize < 12 || !readExact(file.get(), riff, sizeof riff) ||
        std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) {
        return nullptr;
    }

    std::optional<Format> format;
    std::int64_t at = 12;
    while (at <= fileSize - 8) {
        unsigned char chunk[8];
        if (!readExact(file.get(), chunk, sizeof chunk)) {
            return nullptr;
        }
        const std::uint32_t size = u32(chunk + 4);
        const std::int64_t body = at + 8;
        std::int64_t rest = static_cast<std::int64_t>(size) + (size & 1U);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            // A second description, or one cut off by the end of the file, is for the other
            // reader to judge.
            unsigned char bytes[40] = {};
            const std::size_t wanted = std::min<std::size_t>(size, sizeof bytes);
            if (format || size > fileSize - body || !readExact(file.get(), bytes, wanted)) {
                return nullptr;
            }
            format = parseFormat(bytes, size);
            if (!format) {
                return nullptr;
            }
            rest -= static_cast<std::int64_t>(wanted);
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            // An empty data chunk is often a recording never closed: the other reader knows the
            // ways of recovering one.
            if (!format || size == 0) {
                return nullptr;
            }
            if (regular) {
                const std::int64_t end = body + static_cast<std::int64_t>(size) + (size & 1U);
                if (describedAgainLater(file.get(), end, fileSize) ||
                    std::fseek(file.get(), static_cast<long>(body), SEEK_SET) != 0) {
                    return nullptr;
                }
            }
            std::unique_ptr<WavFileReader> reader(new WavFileReader());
            reader->bytesPerFrame_ = static_cast<std::size_t>(format->channels) *
                                     static_cast<std::size_t>(format->bits / 8);
            const std::int64_t bytes = std::min<std::int64_t>(size, fileSize - body);
            reader->framesLeft_ = bytes / static_cast<std::int64_t>(reader->bytesPerFrame_);
            reader->info_ = SampleInfo{reader->framesLeft_, format->sampleRate, format->channels};
            reader->encoding_ = format->tag == formatFloat ? Encoding::float32
                                : format->bits == 16       ? Encoding::int16
                                : format->bits == 24       ? Encoding::int24
                                                           : Encoding::int32;
            reader->file_ = file.release();
            return reader;
        }
        if (!skip(file.get(), rest, regular)) {
            return nullptr;
        }
        at = body + static_cast<std::int64_t>(size) + (size & 1U);
    }
    return nullptr;
}

WavFileReader::~WavFileReader() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

std::expected<std::size_t, Error> WavFileReader::readFrames(float* interleaved,
                                                            std::size_t frames) {
    std::size_t done = 0;
    while (done < frames && framesLeft_ > 0) {
        const std::size_t count = std::min<std::size_t>(
            {frames - done, framesPerBlock, static_cast<std::size_t>(framesLeft_)});
        block_.resize(framesPerBlock * bytesPerFrame_);
        const std::size_t wanted = count * bytesPerFrame_;
        errno = 0;
        const std::size_t got = std::fread(block_.data(), 1, wanted, file_);
        if (got != wanted) {
            if (std::ferror(file_) != 0) {
                return std::unexpected(Error::posix(errno != 0 ? errno : EIO));
            }
            // The file shrank since it was opened: what is left is all there is.
            framesLeft_ = 0;
        }
        const std::size_t samples =
            (got / bytesPerFrame_) * static_cast<std::size_t>(info_.channels);
        float* out = interleaved + done * static_cast<std::size_t>(info_.channels);
        const unsigned char* in = block_.data();
        // Integers are scaled by a power of two, so each value is the nearest float to the exact
        // quotient, whatever the order of operations.
        switch (encoding_) {
            case Encoding::int16:
                for (std::size_t i = 0; i < samples; ++i, in += 2) {
                    out[i] =
                        static_cast<float>(static_cast<std::int16_t>(u16(in))) * (1.0f / 32768.0f);
                }
                break;
            case Encoding::int24:
                for (std::size_t i = 0; i < samples; ++i, in += 3) {
                    const std::uint32_t raw = static_cast<std::uint32_t>(in[0]) << 8 |
                                              static_cast<std::uint32_t>(in[1]) << 16 |
                                              static_cast<std::uint32_t>(in[2]) << 24;
                    out[i] =
                        static_cast<float>(static_cast<std::int32_t>(raw)) * (1.0f / 2147483648.0f);
                }
                break;
            case Encoding::int32:
                for (std::size_t i = 0; i < samples; ++i, in += 4) {
                    out[i] = static_cast<float>(static_cast<std::int32_t>(u32(in))) *
                             (1.0f / 2147483648.0f);
                }
                break;
            case Encoding::float32:
                for (std::size_t i = 0; i < samples; ++i, in += 4) {
                    const std::uint32_t raw = u32(in);
                    std::memcpy(&out[i], &raw, sizeof raw);
                }
                break;
        }
        const std::size_t framesRead = got / bytesPerFrame_;
        done += framesRead;
        if (framesLeft_ > 0) {
            framesLeft_ -= static_cast<std::int64_t>(framesRead);
        }
    }
    return done;
}

}  // namespace tapwell

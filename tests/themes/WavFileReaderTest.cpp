#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sound/WavFileWriter.h"
#include "support/TempDir.h"
#include "themes/SndfileReader.h"
#include "themes/WavFileReader.h"

namespace tapwell {
namespace {

std::string le(std::uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return out;
}

std::string chunk(const std::string& id, const std::string& body) {
    std::string out = id + le(body.size(), 4) + body;
    if (body.size() % 2 == 1) {
        out += '\0';
    }
    return out;
}

struct Layout {
    const char* name;
    std::uint16_t tag = 1;  // 1 integer, 3 float, 0xFFFE extensible
    std::uint16_t subTag = 1;
    int bits = 16;
    int validBits = 0;  // extensible only; 0 for `bits`
    int channels = 1;
    int rate = 48000;
    int frames = 37;
    std::string before = {};         // chunks between fmt and data
    std::string after = {};          // chunks after data
    std::int64_t dataSizeDelta = 0;  // what the data chunk's size claims beyond what it holds
    bool emptyData = false;          // a data chunk of size 0, its samples still following
    bool dataBeforeFormat = false;
    bool takenByOwnReader = true;
    bool readable = true;  // by libsndfile
};

std::string samplesFor(const Layout& layout) {
    std::string bytes;
    const int width = layout.bits / 8;
    std::uint32_t state = 12345;
    for (int i = 0; i < layout.frames * layout.channels; ++i) {
        state = state * 1664525u + 1013904223u;
        if ((layout.tag == 3 || layout.subTag == 3) && layout.bits == 32) {
            // Finite values, some outside [-1, 1]: floats pass through unscaled.
            const float value = static_cast<float>(static_cast<std::int32_t>(state)) / 1.5e9f;
            std::uint32_t raw = 0;
            std::memcpy(&raw, &value, sizeof raw);
            bytes += le(raw, 4);
        } else {
            // Both extremes of the range come up as well.
            const std::uint32_t value = i == 0 ? 0x80000000u : i == 1 ? 0x7FFFFFFFu : state;
            bytes += le(value >> (32 - 8 * width), width);
        }
    }
    return bytes;
}

std::string wavFile(const Layout& layout) {
    const int blockAlign = layout.channels * layout.bits / 8;
    std::string format = le(layout.tag, 2) + le(layout.channels, 2) + le(layout.rate, 4) +
                         le(static_cast<std::uint64_t>(layout.rate) * blockAlign, 4) +
                         le(blockAlign, 2) + le(layout.bits, 2);
    if (layout.tag == 0xFFFE) {
        format += le(22, 2) + le(layout.validBits != 0 ? layout.validBits : layout.bits, 2) +
                  le(layout.channels == 1 ? 4 : 3, 4) + le(layout.subTag, 2) +
                  std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    } else if (layout.tag == 3) {
        format += le(0, 2);
    }
    const std::string samples = samplesFor(layout);
    const std::int64_t claimed =
        layout.emptyData ? 0 : static_cast<std::int64_t>(samples.size()) + layout.dataSizeDelta;
    std::string data = "data" + le(static_cast<std::uint64_t>(claimed), 4) + samples;
    if (layout.dataSizeDelta == 0 && samples.size() % 2 == 1) {
        data += '\0';
    }
    const std::string fmt = chunk("fmt ", format);
    const std::string body = layout.dataBeforeFormat ? data + layout.before + fmt
                                                     : fmt + layout.before + data + layout.after;
    return "RIFF" + le(body.size() + 4, 4) + "WAVE" + body;
}

struct Read {
    SampleInfo info;
    std::vector<float> samples;
};

Read readAll(AudioFileReader& reader) {
    Read result{reader.info(), {}};
    result.samples.assign(static_cast<std::size_t>(result.info.frames * result.info.channels) + 64,
                          -7.0f);
    std::size_t frames = 0;
    // Small reads, so that the reader's own blocks and the file's end fall anywhere.
    for (;;) {
        auto read = reader.readFrames(
            result.samples.data() + frames * static_cast<std::size_t>(result.info.channels), 5);
        EXPECT_TRUE(read.has_value());
        if (!read || *read == 0) {
            break;
        }
        frames += *read;
    }
    result.samples.resize(frames * static_cast<std::size_t>(result.info.channels));
    return result;
}

// Every layout is read by libsndfile and, when it takes it, by the built-in reader: both must
// give the same header and the same samples, bit for bit.
TEST(WavFileReader, ReadsExactlyWhatLibsndfileReads) {
    const std::string list = chunk("LIST", std::string("INFOISFT\x05\x00\x00\x00tool\x00", 17));
    const std::vector<Layout> layouts = {
        {.name = "16-bit mono"},
        {.name = "16-bit stereo at 44.1 kHz", .channels = 2, .rate = 44100},
        {.name = "24-bit mono, odd data with its padding byte", .bits = 24, .rate = 22050},
        {.name = "24-bit stereo", .bits = 24, .channels = 2},
        {.name = "32-bit integer stereo at 96 kHz", .bits = 32, .channels = 2, .rate = 96000},
        {.name = "float mono", .tag = 3, .bits = 32},
        {.name = "float stereo at 8 kHz", .tag = 3, .bits = 32, .channels = 2, .rate = 8000},
        {.name = "extensible 24-bit stereo", .tag = 0xFFFE, .subTag = 1, .bits = 24, .channels = 2},
        {.name = "extensible float mono", .tag = 0xFFFE, .subTag = 3, .bits = 32},
        {.name = "LIST of odd size before data", .before = list},
        {.name = "fact and PEAK before data",
         .tag = 3,
         .bits = 32,
         .before = chunk("fact", le(37, 4)) + chunk("PEAK", std::string(16, '\x01'))},
        {.name = "LIST after data", .bits = 24, .after = list},
        {.name = "data chunk cut off by the file's end", .dataSizeDelta = 1000},
        {.name = "data chunk claiming 4 GiB",
         .bits = 24,
         .channels = 2,
         .dataSizeDelta = 0xFFFFFFF0LL - 37 * 6},
        {.name = "data size claiming less than follows", .bits = 32, .dataSizeDelta = -9},
        {.name = "data size not a whole frame", .channels = 2, .dataSizeDelta = -3},
        // What the built-in reader leaves to libsndfile.
        {.name = "8-bit", .bits = 8, .takenByOwnReader = false},
        {.name = "three channels", .channels = 3, .takenByOwnReader = false},
        {.name = "extensible with 20 valid bits of 24",
         .tag = 0xFFFE,
         .subTag = 1,
         .bits = 24,
         .validBits = 20,
         .takenByOwnReader = false},
        {.name = "empty data chunk of a recording never closed",
         .emptyData = true,
         .takenByOwnReader = false},
        {.name = "a second data chunk after the first",
         .after = chunk("data", std::string(64, '\x02')),
         .takenByOwnReader = false,
         .readable = false},
        {.name = "data before its format",
         .dataBeforeFormat = true,
         .takenByOwnReader = false,
         .readable = false},
    };
    test::TempDir dir;
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const auto file = dir.write("case.wav", wavFile(layout));
        auto theirs = SndfileReader::openFile(file);
        ASSERT_EQ(theirs.has_value(), layout.readable);
        if (!theirs) {
            // Refused with libsndfile's own words, whichever reader is asked.
            auto opened = AudioFileReader::open(file);
            ASSERT_FALSE(opened.has_value());
            EXPECT_EQ(opened.error(), theirs.error());
        }
        auto ours = WavFileReader::open(file);
        ASSERT_EQ(ours != nullptr, layout.takenByOwnReader);
        if (!ours) {
            continue;
        }
        const Read a = readAll(*ours);
        const Read b = readAll(**theirs);
        EXPECT_EQ(a.info.frames, b.info.frames);
        EXPECT_EQ(a.info.sampleRate, b.info.sampleRate);
        EXPECT_EQ(a.info.channels, b.info.channels);
        ASSERT_EQ(a.samples.size(), b.samples.size());
        EXPECT_GT(a.samples.size(), 0u);
        EXPECT_EQ(std::memcmp(a.samples.data(), b.samples.data(), a.samples.size() * sizeof(float)),
                  0);
    }
}

TEST(WavFileReader, LeavesEveryOtherFileToTheInstalledReader) {
    test::TempDir dir;
    const auto text = dir.write("notes.wav", "RIFF but not really a sound file");
    const auto missing = dir / "absent.wav";
    EXPECT_EQ(WavFileReader::open(text), nullptr);
    EXPECT_EQ(WavFileReader::open(missing), nullptr);

    auto viaLibsndfile = AudioFileReader::open(text);
    ASSERT_FALSE(viaLibsndfile.has_value());
    EXPECT_EQ(viaLibsndfile.error().domain, "libsndfile");

    // Without one (the program's module missing), the file names what is lacking; plain WAV
    // still reads.
    AudioFileReader::useOpener(nullptr);
    auto withoutReader = AudioFileReader::open(text);
    const auto plain = dir.write("plain.wav", wavFile({.name = "plain"}));
    auto stillRead = AudioFileReader::open(plain);
    AudioFileReader::useOpener(&SndfileReader::openFile);
    ASSERT_FALSE(withoutReader.has_value());
    EXPECT_EQ(withoutReader.error().code, AudioFileReader::noReaderCode);
    ASSERT_TRUE(stillRead.has_value());
    EXPECT_EQ((*stillRead)->info().frames, 37);
}

TEST(WavFileWriter, WritesWhatBothReadersReadBack) {
    test::TempDir dir;
    const auto file = dir / "out.wav";
    std::vector<float> samples(3000);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<float>(i % 200) / 100.0f - 1.0f;
    }
    {
        auto writer = WavFileWriter::create(file);
        ASSERT_TRUE(writer.has_value());
        ASSERT_TRUE((*writer)->write(samples.data(), 1000, true));
        // The header is current after a write that asks for it, before the close.
        auto partial = WavFileReader::open(file);
        ASSERT_NE(partial, nullptr);
        EXPECT_EQ(partial->info().frames, 1000);
        ASSERT_TRUE((*writer)->write(samples.data() + 1000, 2000));
        ASSERT_TRUE((*writer)->close());
        EXPECT_FALSE((*writer)->write(samples.data(), 1));
    }
    auto ours = WavFileReader::open(file);
    auto theirs = SndfileReader::openFile(file);
    ASSERT_NE(ours, nullptr);
    ASSERT_TRUE(theirs.has_value());
    const Read a = readAll(*ours);
    const Read b = readAll(**theirs);
    EXPECT_EQ(a.info.sampleRate, 48000);
    EXPECT_EQ(b.info.frames, 3000);
    EXPECT_EQ(a.samples, samples);
    EXPECT_EQ(b.samples, samples);

    auto refused = WavFileWriter::create(dir / "no-such-folder" / "x.wav");
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().domain, "posix");
}

}  // namespace
}  // namespace tapwell

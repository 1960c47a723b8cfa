// Decoding of theme audio: the header probe and the full decode (the built-in WAV reader,
// libsndfile and the resampler) of whatever a theme folder may hold, under each of the extensions
// themes and packs use. A WAV file both the built-in reader and libsndfile take must read the same
// through both.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "sound/AudioDecoder.h"
#include "sound/SoxrResampler.h"
#include "themes/SndfileReader.h"
#include "themes/WavFileReader.h"

using namespace tapwell;

namespace {

std::vector<float> readAll(AudioFileReader& reader) {
    const SampleInfo info = reader.info();
    std::vector<float> samples(static_cast<std::size_t>(info.frames) *
                               static_cast<std::size_t>(info.channels));
    auto read = reader.readFrames(samples.data(), static_cast<std::size_t>(info.frames));
    FUZZ_CHECK(read.has_value());
    samples.resize(*read * static_cast<std::size_t>(info.channels));
    return samples;
}

// The built-in reader's view of a file it takes, against libsndfile's.
void compareReaders(const std::filesystem::path& file) {
    auto ours = WavFileReader::open(file);
    if (!ours || ours->info().frames > (1 << 20)) {
        return;
    }
    auto theirs = SndfileReader::openFile(file);
    if (!theirs) {
        // Ours walks any well-formed chunk list (an unknown chunk with a zero id, say), where
        // libsndfile gives up on some; what both take must read the same.
        return;
    }
    FUZZ_CHECK((*theirs)->info().frames == ours->info().frames);
    FUZZ_CHECK((*theirs)->info().sampleRate == ours->info().sampleRate);
    FUZZ_CHECK((*theirs)->info().channels == ours->info().channels);
    const std::vector<float> a = readAll(*ours);
    const std::vector<float> b = readAll(**theirs);
    FUZZ_CHECK(a.size() == b.size());
    FUZZ_CHECK(a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool readsOtherFormats = [] {
        AudioFileReader::useOpener(&SndfileReader::openFile);
        Resampler::use(&SoxrResampler::convert);
        return true;
    }();
    (void)readsOtherFormats;
    if (size < 1) {
        return 0;
    }
    static const char* const extensions[] = {".wav", ".aiff", ".flac", ".ogg", ".mp3", ".caf"};
    const std::filesystem::path file =
        fuzz::freshScratchFolder() / (std::string("sample") + extensions[data[0] % 6]);
    fuzz::writeBytes(file, fuzz::asText(data + 1, size - 1));

    compareReaders(file);
    auto info = probeAudioFile(file);
    auto decoded = decodeAudioFile(file);
    if (decoded) {
        FUZZ_CHECK(*decoded != nullptr);
        FUZZ_CHECK((*decoded)->frameLength() > 0);
        FUZZ_CHECK(info.has_value());
    }
    return 0;
}

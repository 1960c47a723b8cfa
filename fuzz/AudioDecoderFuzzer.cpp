// Decoding of theme audio: the header probe and the full decode (libsndfile and the resampler)
// of whatever a theme folder may hold, under each of the extensions themes and packs use.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "sound/AudioDecoder.h"

using namespace tapwell;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    static const char* const extensions[] = {".wav", ".aiff", ".flac", ".ogg", ".mp3", ".caf"};
    const std::filesystem::path file =
        fuzz::freshScratchFolder() / (std::string("sample") + extensions[data[0] % 6]);
    fuzz::writeBytes(file, fuzz::asText(data + 1, size - 1));

    auto info = probeAudioFile(file);
    auto decoded = decodeAudioFile(file);
    if (decoded) {
        FUZZ_CHECK(*decoded != nullptr);
        FUZZ_CHECK((*decoded)->frameLength() > 0);
        FUZZ_CHECK(info.has_value());
    }
    return 0;
}

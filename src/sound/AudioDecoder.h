#pragma once
// Decodes one audio file (any container and encoding libsndfile reads: WAV, AIFF, CAF, FLAC, Ogg
// Vorbis, Opus, MP3) into a mono buffer at 48 kHz. Several channels are averaged to one; another
// sample rate is converted with libsoxr. Levels pass through unchanged: no trimming, normalising
// or fading. Runs on the thread that prepares the themes, never on the audio path.

#include <expected>
#include <filesystem>

#include "sound/AudioError.h"
#include "sound/PcmBuffer.h"

namespace tapwell {

// Errors: the decoder's open or read error (domain "libsndfile"), unchanged; `invalidFile` for a
// file of no frames or of 4294967295 frames or more (or one too large to hold in memory);
// `invalidFormat` when the conversion cannot be set up; the converter's error (domain "libsoxr");
// `conversionFailed` when the conversion gives no frames.
std::expected<SharedPcmBuffer, AudioLoadError> decodeAudioFile(const std::filesystem::path& path);

}  // namespace tapwell

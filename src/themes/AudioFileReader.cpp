#include "themes/AudioFileReader.h"

#include <atomic>

#include "themes/WavFileReader.h"

namespace tapwell {
namespace {

std::atomic<AudioFileReader::Opener> installedOpener{nullptr};

}  // namespace

void AudioFileReader::useOpener(Opener opener) {
    installedOpener = opener;
}

std::expected<std::unique_ptr<AudioFileReader>, Error> AudioFileReader::open(
    const std::filesystem::path& path) {
    if (auto wav = WavFileReader::open(path)) {
        return wav;
    }
    const Opener opener = installedOpener;
    if (opener == nullptr) {
        return std::unexpected(
            Error{"audio", noReaderCode, "no reader of this sound format is installed"});
    }
    return opener(path);
}

}  // namespace tapwell

#include "themeimport/ZipReader.h"

#include <atomic>

namespace tapwell {
namespace {

std::atomic<ZipReader::Opener> installedOpener{nullptr};

}  // namespace

void ZipReader::useOpener(Opener opener) {
    installedOpener = opener;
}

std::expected<std::unique_ptr<ZipReader>, ZipReader::OpenError> ZipReader::open(
    const std::filesystem::path& path) {
    const Opener opener = installedOpener;
    if (opener == nullptr) {
        return std::unexpected(OpenError{OpenError::Kind::readerMissing, "no archive reader"});
    }
    return opener(path);
}

}  // namespace tapwell

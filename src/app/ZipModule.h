#pragma once
// The program opens sound-pack archives through the archive module (themeimport/ZipReader.h),
// loaded on the first archive.

#include "themeimport/ZipReader.h"

namespace tapwell {

// A ZipReader::Opener: loads the module (once) and opens `path` with it; `readerMissing` when the
// module cannot be loaded.
std::expected<std::unique_ptr<ZipReader>, ZipReader::OpenError> openZipThroughModule(
    const std::filesystem::path& path);

}  // namespace tapwell

#include "app/ZipModule.h"

#include "platform/PlatformServices.h"

namespace tapwell {

std::expected<std::unique_ptr<ZipReader>, ZipReader::OpenError> openZipThroughModule(
    const std::filesystem::path& path) {
    auto entry = loadProgramModule(zipModuleFile, zipModuleEntry);
    if (!entry) {
        return std::unexpected(
            ZipReader::OpenError{ZipReader::OpenError::Kind::readerMissing, entry.error()});
    }
    // The one way from a symbol's address to a function: the module exports the entry as such.
    const auto moduleEntry = reinterpret_cast<ZipModuleEntry>(*entry);
    return moduleEntry()(path);
}

}  // namespace tapwell

#include "app/ZipModule.h"

#include "platform/PlatformServices.h"

namespace tapwell {

std::expected<std::unique_ptr<ZipReader>, ZipReader::OpenError> openZipThroughModule(
    const std::filesystem::path& path) {
    auto open = callProgramModule<ZipModuleEntry>(zipModuleFile, zipModuleEntry);
    if (!open) {
        return std::unexpected(
            ZipReader::OpenError{ZipReader::OpenError::Kind::readerMissing, open.error()});
    }
    return (*open)(path);
}

}  // namespace tapwell

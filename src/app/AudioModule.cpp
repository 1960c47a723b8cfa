#include "app/AudioModule.h"

#include "platform/PlatformServices.h"

namespace tapwell {

std::expected<std::unique_ptr<AudioFileReader>, Error> openAudioThroughModule(
    const std::filesystem::path& path) {
    auto open = callProgramModule<AudioModuleEntry>(audioModuleFile, audioModuleEntry);
    if (!open) {
        return std::unexpected(
            Error{"audio", AudioFileReader::noReaderCode,
                  "the reader of this sound format cannot be loaded: " + open.error()});
    }
    return (*open)(path);
}

}  // namespace tapwell

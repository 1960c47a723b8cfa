#include "app/AudioModule.h"

#include "platform/PlatformServices.h"

namespace tapwell {

std::expected<std::unique_ptr<AudioFileReader>, Error> openAudioThroughModule(
    const std::filesystem::path& path) {
    auto entry = loadProgramModule(audioModuleFile, audioModuleEntry);
    if (!entry) {
        return std::unexpected(
            Error{"audio", AudioFileReader::noReaderCode,
                  "the reader of this sound format cannot be loaded: " + entry.error()});
    }
    // The one way from a symbol's address to a function: the module exports the entry as such.
    const auto moduleEntry = reinterpret_cast<AudioModuleEntry>(*entry);
    return moduleEntry()(path);
}

}  // namespace tapwell

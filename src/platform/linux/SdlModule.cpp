#include "platform/linux/SdlModule.h"

#include "platform/PlatformServices.h"

namespace tapwell {

std::expected<std::unique_ptr<AudioOutput>, Error> openSdlThroughModule(std::size_t periodFrames) {
    auto entry = loadProgramModule(sdlModuleFile, sdlModuleEntry);
    if (!entry) {
        return std::unexpected(
            Error{"sdl", -1, "the SDL sound output cannot be loaded: " + entry.error()});
    }
    // The one way from a symbol's address to a function: the module exports the entry as such.
    const auto moduleEntry = reinterpret_cast<SdlModuleEntry>(*entry);
    return moduleEntry()(periodFrames);
}

}  // namespace tapwell

#include "platform/linux/SdlModule.h"

#include "platform/PlatformServices.h"

namespace tapwell {

std::expected<std::unique_ptr<AudioOutput>, Error> openSdlThroughModule(std::size_t periodFrames) {
    auto make = callProgramModule<SdlModuleEntry>(sdlModuleFile, sdlModuleEntry);
    if (!make) {
        return std::unexpected(
            Error{"sdl", -1, "the SDL sound output cannot be loaded: " + make.error()});
    }
    return (*make)(periodFrames);
}

}  // namespace tapwell

// The entry of the SDL module (libtapwell-sdl.so): SdlAudioOutput, with SDL and ALSA, for a
// program that loads it when no sound server answers (see platform/linux/SdlModule.h).

#include "platform/linux/SdlModule.h"
#include "platform/linux/sound/SdlAudioOutput.h"

namespace {

std::unique_ptr<tapwell::AudioOutput> makeSdlOutput(std::size_t periodFrames) {
    return std::make_unique<tapwell::SdlAudioOutput>(periodFrames);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) tapwell::SdlOutputMaker tapwell_sdl_module() {
    return &makeSdlOutput;
}

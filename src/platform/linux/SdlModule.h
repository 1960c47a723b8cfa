#pragma once
// The program reaches the sound device without a sound server through SDL, which lives with
// ALSA in a module of its own (libtapwell-sdl.so), loaded only when no server answers: a run the
// server serves never maps SDL and the many libraries behind it.

#include <cstddef>
#include <expected>
#include <memory>

#include "sound/AudioOutput.h"

namespace tapwell {

// The module's entry returns the maker of its output (SdlAudioOutput).
using SdlOutputMaker = std::unique_ptr<AudioOutput> (*)(std::size_t periodFrames);
inline constexpr const char* sdlModuleFile = "libtapwell-sdl.so";
inline constexpr const char* sdlModuleEntry = "tapwell_sdl_module";
using SdlModuleEntry = SdlOutputMaker (*)();

// A DirectOutputOpener (platform/linux/sound/AudioOutputFactory.h): loads the module (once) and
// makes its output; an error naming the module when it cannot be loaded.
std::expected<std::unique_ptr<AudioOutput>, Error> openSdlThroughModule(std::size_t periodFrames);

}  // namespace tapwell

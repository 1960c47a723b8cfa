#include "platform/linux/PulseModule.h"

#include "platform/PlatformServices.h"

namespace tapwell {

std::expected<const PulseModule*, std::string> loadPulseModule() {
    auto module = callProgramModule<PulseModuleEntry>(pulseModuleFile, pulseModuleEntry);
    if (!module) {
        return std::unexpected("the sound server output cannot be loaded: " + module.error());
    }
    return *module;
}

}  // namespace tapwell

#include "app/DesktopModule.h"

#include "platform/PlatformServices.h"

namespace tapwell {

std::expected<const DesktopModule*, std::string> loadDesktopModule() {
    return callProgramModule<DesktopModuleEntry>(desktopModuleFile, desktopModuleEntry);
}

}  // namespace tapwell

#include "app/DesktopModule.h"

#include "platform/PlatformServices.h"

namespace tapwell {

std::expected<const DesktopModule*, std::string> loadDesktopModule() {
    auto entry = loadProgramModule(desktopModuleFile, desktopModuleEntry);
    if (!entry) {
        return std::unexpected(std::move(entry.error()));
    }
    // The one way from a symbol's address to a function: the module exports the entry as such.
    const auto moduleEntry = reinterpret_cast<DesktopModuleEntry>(*entry);
    return moduleEntry();
}

}  // namespace tapwell

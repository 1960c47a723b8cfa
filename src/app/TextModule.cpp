// The program's text services: the text module (libtapwell-icu.so), loaded on the first call, so
// that a run which formats nothing and meets only plain ASCII names never maps ICU.

#include "core/Log.h"
#include "platform/PlatformServices.h"
#include "text/TextServices.h"

namespace tapwell {

namespace {

inline constexpr const char* textModuleFile = "libtapwell-icu.so";
inline constexpr const char* textModuleEntry = "tapwell_icu_module";
using TextModuleEntry = const TextServices* (*)();

}  // namespace

const TextServices* textServices() {
    static const TextServices* const services = [] {
        auto loaded = callProgramModule<TextModuleEntry>(textModuleFile, textModuleEntry);
        if (!loaded) {
            logger(LogCategory::startup)
                .warn("Numbers, dates and names fall back to plain forms: {}", loaded.error());
            return static_cast<const TextServices*>(nullptr);
        }
        return *loaded;
    }();
    return services;
}

}  // namespace tapwell

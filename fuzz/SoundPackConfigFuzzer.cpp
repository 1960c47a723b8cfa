// An imported sound pack's "config.json": decoding with its messages, and the key plan built from
// it (aliases, general sounds, number ranges), before any audio is read.

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "themeimport/PackMapping.h"
#include "themeimport/SoundPack.h"

using namespace tapwell;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto pack = decodeSoundPack(fuzz::asText(data, size), "pack");
    if (!pack) {
        FUZZ_CHECK(pack.error().starts_with("pack: "));
        return 0;
    }
    const PackPlan plan = planPackKeys(*pack);
    for (const auto& [code, key] : plan.keys) {
        FUZZ_CHECK(!plan.modifierCodes.contains(code));
    }
    return 0;
}

// The theme manifest reader: strict decoding, the content rules, the colour conversion, and the
// writer that tools use (what it writes must read back as the same theme).

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "themes/Theme.h"
#include "themes/ThemeManager.h"

using namespace tapwell;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto theme = decodeTheme(fuzz::asText(data, size));
    if (!theme) {
        return 0;
    }
    const auto problem = validateManifest(*theme, theme->id);
    for (const std::string* color : {&theme->colors.accent, &theme->colors.recap.text}) {
        const SrgbColor rgb = themeHex(*color);
        FUZZ_CHECK(rgb.red >= 0 && rgb.red <= 1 && rgb.green >= 0 && rgb.green <= 1 &&
                   rgb.blue >= 0 && rgb.blue <= 1);
    }
    (void)theme->sounds.allFiles();
    if (!problem) {
        auto again = decodeTheme(encodeTheme(*theme));
        FUZZ_CHECK(again.has_value());
        FUZZ_CHECK(*again == *theme);
    }
    return 0;
}

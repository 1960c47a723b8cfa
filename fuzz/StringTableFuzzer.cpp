// The string tables ("<code>.lproj/Localizable.json"): the strict table reader, and every text it
// accepts run through the placeholder check and filling, as the program does with them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "presentation/FormatString.h"
#include "presentation/StringTable.h"

using namespace tapwell;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto table = StringTable::parse(fuzz::asText(data, size));
    if (!table) {
        return 0;
    }
    static const std::array<std::string, 3> arguments{"12,345", "Novice", "{1}"};
    for (const std::string& key : table->keys()) {
        const std::string* text = table->find(key);
        FUZZ_CHECK(text != nullptr);
        (void)placeholderIndices(*text);
        (void)fillPlaceholders(*text, arguments);
    }
    return 0;
}

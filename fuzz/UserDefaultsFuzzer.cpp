// The settings store's file: read at start-up by the program and by `tapwell defaults`. A file
// that does not parse is moved aside; every stored value must read back as its own type.

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "core/UserDefaults.h"

using namespace tapwell;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path file = fuzz::freshScratchFolder() / "tapwell" / "defaults.json";
    fuzz::writeBytes(file, fuzz::asText(data, size));

    UserDefaults::Options options;
    // Nothing is written by this harness; a write would mean a read changed the store.
    options.writeFile = [](const std::filesystem::path&, std::string_view,
                           std::filesystem::perms) -> std::optional<Error> {
        FUZZ_CHECK(!"a read wrote the file");
        return std::nullopt;
    };
    UserDefaults defaults(file, options);
    for (const auto& [key, value] : defaults.storedValues()) {
        FUZZ_CHECK(defaults.hasStoredValue(key));
        const auto read = defaults.value(key);
        FUZZ_CHECK(read.has_value() && typeOf(*read) == typeOf(value));
        (void)defaults.stringValue(key);
        (void)defaults.dataValue(key);
        (void)defaults.dateValue(key);
        (void)defaults.doubleValue(key);
    }
    return 0;
}

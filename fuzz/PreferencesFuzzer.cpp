// The preferences record stored under "m3.preferences": lenient decoding, the load-time repairs,
// and a saved record reading back unchanged.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "preferences/AppPreferences.h"

using namespace tapwell;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto preferences = AppPreferences::fromJSON(fuzz::asText(data, size));
    if (!preferences) {
        return 0;
    }
    preferences->repair();
    FUZZ_CHECK(preferences->lateMinute >= 0 && preferences->lateMinute <= 1439);
    FUZZ_CHECK(preferences->wrapMinute >= 0 && preferences->wrapMinute <= 1439);
    FUZZ_CHECK(preferences->dailyKeystrokes >= 1);
    auto again = AppPreferences::fromJSON(preferences->toJSON());
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *preferences);
    return 0;
}

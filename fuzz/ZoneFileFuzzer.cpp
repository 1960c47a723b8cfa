// A compiled zone file of the tz database (what /etc/localtime or $TZ may name), and a POSIX rule
// string as $TZ or a zone file's footer carries it: read from outside the program, so neither may
// crash or overflow, and a zone that reads answers the moments a calendar asks about.

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "core/PosixTimeZoneRule.h"
#include "core/TzifReader.h"
#include "core/ZoneRules.h"

using namespace tapwell;

namespace {

void ask(const ZoneRules& zone) {
    // From before 1900 to beyond 2400, both ways round.
    for (const std::int64_t utc :
         {std::int64_t{-2'500'000'000}, std::int64_t{-1}, std::int64_t{0},
          std::int64_t{1'700'000'000}, std::int64_t{2'200'000'000}, std::int64_t{14'000'000'000}}) {
        const ZoneRules::Span span = zone.spanAt(utc);
        FUZZ_CHECK(span.from <= utc && utc < span.to);
        const std::int64_t wall = utc + span.offset;
        (void)zone.utcOfLocal(wall);
        (void)zone.lastChangeAtOrBefore(utc);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto bytes = fuzz::asText(data, size);
    if (auto rule = PosixTimeZoneRule::parse(bytes)) {
        ask(ZoneRules({}, {}, rule->standardOffset(), *rule));
    }
    if (auto zone = TzifReader::read(bytes)) {
        ask(*zone);
    }
    return 0;
}

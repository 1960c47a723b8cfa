// The wellbeing ledger stored under "m3.wellbeingLedger": decoding, committing an event into
// whatever was stored (counts saturate, old days are pruned), and writing it back.

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "core/Calendar.h"
#include "wellbeing/WellbeingLedger.h"

using namespace tapwell;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto ledger = WellbeingLedger::fromJSON(fuzz::asText(data, size));
    if (!ledger) {
        return 0;
    }
    auto json = ledger->toJSON();
    FUZZ_CHECK(json.has_value());
    auto again = WellbeingLedger::fromJSON(*json);
    FUZZ_CHECK(again.has_value() && *again == *ledger);

    static const std::optional<Calendar> utc = Calendar::inZone("UTC");
    FUZZ_CHECK(utc.has_value());
    const Date date = Date::fromUnix(1796457600.0);  // 2026-12-05 08:00 UTC
    const std::string day = utc->dayID(date);
    const std::int64_t before = ledger->count(day);
    ledger->commit(WellbeingEvent::wrapUp, day, date, *utc);
    FUZZ_CHECK(ledger->count(day) >= before);
    FUZZ_CHECK(ledger->once.contains(WellbeingLedger::marker(day, WellbeingEvent::wrapUp)));
    auto committed = ledger->toJSON();
    FUZZ_CHECK(committed.has_value() && WellbeingLedger::fromJSON(*committed) == *ledger);
    return 0;
}

// The statistics day file and the export built from day files: decoding, the validity rules, the
// quarantine of a damaged file, and counting more keys into a day read from disk (whatever the
// file held, the record saved afterwards must still read back as valid).
//
// Input: one byte N (taken modulo 41), N bytes of gaps between keys in 2-second steps, then the
// text of the day file of 2024-03-05.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "stats/StatsLedger.h"
#include "stats/StatsPersistence.h"

using namespace tapwell;

namespace {

constexpr const char* day = "2024-03-05";

void checkSavedRecord(const DailyStats& record) {
    FUZZ_CHECK(record.isValid());
    auto again = StatsPersistence::decode(StatsPersistence::encode(record));
    FUZZ_CHECK(again.has_value() && again->isValid());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::size_t keys = std::min<std::size_t>(data[0] % 41, size - 1);
    std::vector<double> gaps;
    for (std::size_t i = 0; i < keys; ++i) {
        gaps.push_back(data[1 + i] * 2.0);
    }
    const std::string text(fuzz::asText(data + 1 + keys, size - 1 - keys));

    const std::filesystem::path folder = fuzz::freshScratchFolder() / "stats";
    StatsPersistence persistence(folder);
    fuzz::writeBytes(persistence.fileFor(day), text);
    auto loaded = persistence.load(day);
    FUZZ_CHECK(loaded.has_value());
    if (!*loaded) {
        // No record: the damaged file went aside, never lost.
        FUZZ_CHECK(!std::filesystem::exists(persistence.fileFor(day)));
        return 0;
    }
    DailyStats record = **loaded;
    FUZZ_CHECK(record.date == day && record.isValid());
    auto decoded = StatsPersistence::decode(text);
    FUZZ_CHECK(decoded.has_value() && *decoded == record);
    checkSavedRecord(record);
    (void)StatsPersistence::encodeExport({record, record});

    static const std::optional<Calendar> utc = Calendar::inZone("UTC");
    FUZZ_CHECK(utc.has_value());
    StatsLedger ledger;
    ledger.days.emplace(day, record);
    // 2024-03-05 23:59:00 UTC, so that some keys fall on the next day.
    Date date = Date::fromUnix(1709683140.0);
    double uptime = 1000.0;
    for (const double gap : gaps) {
        date = Date{date.secondsSinceReferenceDate + gap};
        uptime += gap;
        (void)ledger.record(date, uptime, *utc);
    }
    for (const auto& [id, stats] : ledger.days) {
        checkSavedRecord(stats);
    }
    return 0;
}

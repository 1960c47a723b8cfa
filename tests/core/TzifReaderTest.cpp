#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/TzifReader.h"

namespace tapwell {
namespace {

struct Type {
    std::int32_t offset = 0;
    std::uint8_t isDaylight = 0;
    std::uint8_t abbreviation = 0;
};

// A zone file put together field by field, so that each test can spoil one field.
struct TzifFile {
    char version = '2';
    std::vector<std::int64_t> times;
    std::vector<std::uint8_t> typeOfTime;
    std::vector<Type> types{{0, 0, 0}};
    std::string abbreviations = std::string("UTC\0", 4);
    std::vector<std::pair<std::int64_t, std::int32_t>> leaps;
    std::string footer = "UTC0";
    std::uint32_t extraTimeCount = 0;  // claimed beyond the times written

    std::string bytes() const {
        std::string out = block(4, version);
        if (version != '\0') {
            out += block(8, version) + "\n" + footer + "\n";
        }
        return out;
    }

  private:
    static void put(std::string& out, std::uint64_t value, int size) {
        for (int i = size - 1; i >= 0; --i) {
            out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        }
    }

    std::string block(int timeSize, char headerVersion) const {
        std::string out = "TZif";
        out.push_back(headerVersion);
        out.append(15, '\0');
        put(out, 0, 4);  // UT indicators
        put(out, 0, 4);  // standard indicators
        put(out, leaps.size(), 4);
        put(out, times.size() + extraTimeCount, 4);
        put(out, types.size(), 4);
        put(out, abbreviations.size(), 4);
        for (const std::int64_t time : times) {
            put(out, static_cast<std::uint64_t>(time), timeSize);
        }
        for (const std::uint8_t type : typeOfTime) {
            out.push_back(static_cast<char>(type));
        }
        for (const Type& type : types) {
            put(out, static_cast<std::uint32_t>(type.offset), 4);
            out.push_back(static_cast<char>(type.isDaylight));
            out.push_back(static_cast<char>(type.abbreviation));
        }
        out += abbreviations;
        for (const auto& [occurrence, correction] : leaps) {
            put(out, static_cast<std::uint64_t>(occurrence), timeSize);
            put(out, static_cast<std::uint32_t>(correction), 4);
        }
        return out;
    }
};

// Standard time +1, daylight saving +2 from 2000-03-26T01:00Z to 2000-10-29T01:00Z, then the
// footer's rule.
TzifFile central() {
    TzifFile file;
    file.times = {954032400, 972781200};
    file.typeOfTime = {1, 0};
    file.types = {{3600, 0, 0}, {7200, 1, 4}};
    file.abbreviations = std::string("CET\0CEST\0", 9);
    file.footer = "CET-1CEST,M3.5.0,M10.5.0/3";
    return file;
}

TEST(TzifReader, ReadsTheListedChangesAndTheFooterRuleAfterThem) {
    for (const char version : {'2', '3', '4'}) {
        SCOPED_TRACE(version);
        TzifFile file = central();
        file.version = version;
        const auto zone = TzifReader::read(file.bytes());
        ASSERT_TRUE(zone);
        EXPECT_EQ(zone->offsetAt(0), 3600);                // before the first change: type 0
        EXPECT_EQ(zone->offsetAt(954032400 - 1), 3600);
        EXPECT_EQ(zone->offsetAt(954032400), 7200);
        EXPECT_EQ(zone->offsetAt(972781200), 3600);
        EXPECT_EQ(zone->offsetAt(1719792000), 7200);       // 2024-07-01, from the footer
        EXPECT_EQ(zone->offsetAt(1711846800 - 1), 3600);   // 2024-03-31T01:00Z, the rule's change
        EXPECT_EQ(zone->offsetAt(1711846800), 7200);
    }
}

TEST(TzifReader, VersionOneHasNoFooterAndKeepsTheLastOffset) {
    TzifFile file = central();
    file.version = '\0';
    const auto zone = TzifReader::read(file.bytes());
    ASSERT_TRUE(zone);
    EXPECT_EQ(zone->offsetAt(954032400), 7200);
    EXPECT_EQ(zone->offsetAt(1719792000), 3600);
}

TEST(TzifReader, LeapSecondsAreTakenOutOfTheChanges) {
    TzifFile file = central();
    file.leaps = {{78796800, 1}, {94694401, 2}};
    file.times = {954032400 + 2, 972781200 + 2};
    const auto zone = TzifReader::read(file.bytes());
    ASSERT_TRUE(zone);
    EXPECT_EQ(zone->offsetAt(954032400 - 1), 3600);
    EXPECT_EQ(zone->offsetAt(954032400), 7200);
}

TEST(TzifReader, EveryTruncationAndDamageGivesNoZoneWithoutReadingBeyondTheData) {
    const std::string whole = central().bytes();
    for (std::size_t length = 0; length < whole.size(); ++length) {
        EXPECT_FALSE(TzifReader::read(whole.substr(0, length))) << length;
    }
    // Whatever a single byte becomes, the reader answers (the sanitizers watch the reads).
    for (std::size_t at = 0; at < whole.size(); ++at) {
        for (const unsigned char value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
            std::string damaged = whole;
            damaged[at] = static_cast<char>(value);
            (void)TzifReader::read(damaged);
        }
    }

    struct Case {
        const char* what;
        void (*spoil)(TzifFile&);
    };
    const Case cases[] = {
        {"counts beyond the data", [](TzifFile& f) { f.extraTimeCount = 0xFFFFFFFF; }},
        {"unknown version", [](TzifFile& f) { f.version = '9'; }},
        {"no types", [](TzifFile& f) { f.types.clear(), f.times.clear(), f.typeOfTime.clear(); }},
        {"type beyond the types", [](TzifFile& f) { f.typeOfTime[0] = 2; }},
        {"abbreviation beyond the text", [](TzifFile& f) { f.types[1].abbreviation = 9; }},
        {"changes out of order", [](TzifFile& f) { std::swap(f.times[0], f.times[1]); }},
        {"repeated change", [](TzifFile& f) { f.times[1] = f.times[0]; }},
        {"absurd offset", [](TzifFile& f) { f.types[1].offset = 100000; }},
        {"daylight flag other than 0 or 1", [](TzifFile& f) { f.types[1].isDaylight = 2; }},
        {"absurd footer", [](TzifFile& f) { f.footer = "CET-1CEST,M13.5.0,M10.5.0/3"; }},
        {"footer hours beyond 167", [](TzifFile& f) { f.footer = "CET-1CEST,M3.5.0/168,M10.5.0"; }},
        {"footer beyond any real one", [](TzifFile& f) { f.footer = std::string(300, 'A') + "0"; }},
    };
    for (const Case& c : cases) {
        TzifFile file = central();
        c.spoil(file);
        EXPECT_FALSE(TzifReader::read(file.bytes())) << c.what;
    }
    std::string badMagic = whole;
    badMagic[0] = 'X';
    EXPECT_FALSE(TzifReader::read(badMagic));
    EXPECT_FALSE(TzifReader::read(std::string(TzifReader::maxFileSize + 1, 'T')));
}

}  // namespace
}  // namespace tapwell

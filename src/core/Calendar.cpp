#include "core/Calendar.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/CivilDate.h"
#include "core/FileSystem.h"
#include "core/TimeZoneDatabase.h"
#include "core/TzifReader.h"
#include "core/ZoneRules.h"

namespace tapwell {

struct Calendar::Zone {
    std::string id;
    ZoneRules rules;
};

namespace {

constexpr std::int64_t secondsPerDay = 86400;
// Moments are kept within some two million years of 1970, where every sum below stays exact in
// a double and far from the ends of a 64-bit integer.
constexpr std::int64_t farthest = std::int64_t{1} << 46;

// A moment as whole Unix seconds and the fraction of the second after them: offsets are whole
// seconds, so calendar arithmetic runs on integers and the fraction rides along.
struct Instant {
    std::int64_t seconds = 0;
    double fraction = 0.0;
};

Instant instantOf(Date date) {
    double unix = date.unixSeconds();
    if (std::isnan(unix)) {
        unix = 0.0;
    }
    unix = std::clamp(unix, -static_cast<double>(farthest), static_cast<double>(farthest));
    const double whole = std::floor(unix);
    return Instant{static_cast<std::int64_t>(whole), unix - whole};
}

Date dateOf(std::int64_t seconds, double fraction = 0.0) {
    return Date::fromUnix(static_cast<double>(seconds) + fraction);
}

std::shared_ptr<const Calendar::Zone> makeZone(std::string id, ZoneRules rules) {
    return std::make_shared<const Calendar::Zone>(Calendar::Zone{std::move(id), std::move(rules)});
}

const std::shared_ptr<const Calendar::Zone>& utcZone() {
    static const auto zone = makeZone("UTC", ZoneRules::fixed(0));
    return zone;
}

}  // namespace

// What detection found: a zone of the database to load by its id, or rules it has read itself.
struct Calendar::HostZone::Detected {
    std::string id;
    std::optional<ZoneRules> rules;
    bool fromDatabase = false;

    static Detected utc() { return Detected{"UTC", ZoneRules::fixed(0), false}; }
};

Calendar::HostZone::HostZone(std::filesystem::path localtime) : localtime_(std::move(localtime)) {}
Calendar::HostZone::~HostZone() = default;

Calendar::HostZone::Detected Calendar::HostZone::detectFile(const std::filesystem::path& path) {
    const TimeZoneDatabase database = TimeZoneDatabase::system();
    if (auto id = database.idOfPath(path)) {
        return Detected{std::move(*id), std::nullopt, true};
    }
    // A copy of a zone file rather than a link to one (or a link elsewhere).
    ReadResult read = readFile(path, TzifReader::maxFileSize);
    if (!read.contents) {
        return Detected::utc();
    }
    auto rules = TzifReader::read(*read.contents);
    if (!rules) {
        return Detected::utc();
    }
    if (copyID_.empty() || *read.contents != copyBytes_) {
        copyID_ = database.idOfContents(*read.contents).value_or(path.string());
        copyBytes_ = std::move(*read.contents);
    }
    return Detected{copyID_, std::move(rules), false};
}

Calendar::HostZone::Detected Calendar::HostZone::detect() {
    const char* variable = std::getenv("TZ");
    if (variable == nullptr) {
        return detectFile(localtime_);
    }
    std::string_view value = variable;
    // A leading colon says the rest names a file, never a rule.
    const bool fileOnly = value.starts_with(':');
    if (fileOnly) {
        value.remove_prefix(1);
    }
    if (value.empty()) {
        return Detected::utc();
    }
    if (value.front() == '/') {
        return detectFile(value);
    }
    if (auto id = TimeZoneDatabase::system().idOfName(value)) {
        return Detected{std::move(*id), std::nullopt, true};
    }
    if (!fileOnly) {
        if (auto rule = PosixTimeZoneRule::parse(value)) {
            const std::int32_t standard = rule->standardOffset();
            return Detected{std::string(value), ZoneRules({}, {}, standard, std::move(rule)),
                            false};
        }
    }
    return Detected::utc();
}

void Calendar::HostZone::refresh(double uptime) {
    // A clock that went back (another clock's time) counts as expired too.
    const bool expired = !(uptime - detectedAt_ < redetectAfter && uptime >= detectedAt_);
    if (zone_ && !expired) {
        return;
    }
    detectedAt_ = uptime;
    Detected detected = detect();
    // An unchanged zone keeps its rules; one that could not be read is tried again.
    const bool standingIn = zone_ == utcZone() && detected.id != "UTC";
    if (zone_ && detected.id == detectedID_ && !standingIn) {
        return;
    }
    std::optional<ZoneRules> rules = detected.fromDatabase
                                         ? TimeZoneDatabase::system().load(detected.id)
                                         : std::move(detected.rules);
    zone_ = rules ? makeZone(detected.id, std::move(*rules)) : utcZone();
    detectedID_ = std::move(detected.id);
}

Calendar Calendar::HostZone::current(double uptime) {
    std::lock_guard lock(mutex_);
    refresh(uptime);
    return Calendar(zone_);
}

std::string Calendar::HostZone::zoneID(double uptime) {
    std::lock_guard lock(mutex_);
    refresh(uptime);
    return zone_->id;
}

namespace {

Calendar::HostZone& hostZone() {
    static Calendar::HostZone host;
    return host;
}

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

Calendar Calendar::current() {
    return hostZone().current(steadySeconds());
}

std::string Calendar::currentZoneID() {
    return hostZone().zoneID(steadySeconds());
}

Calendar::Calendar(std::shared_ptr<const Zone> zone)
    : zone_(std::move(zone)), zoneID_(&zone_->id) {}

std::optional<Calendar> Calendar::inZone(std::string_view zoneID) {
    // Always at hand, also on a system without the tz database.
    if (zoneID == "UTC") {
        return Calendar(utcZone());
    }
    auto rules = TimeZoneDatabase::system().load(zoneID);
    if (!rules) {
        return std::nullopt;
    }
    return Calendar(makeZone(std::string(zoneID), std::move(*rules)));
}

Calendar::Calendar(const Calendar& other) = default;
Calendar& Calendar::operator=(const Calendar& other) = default;
// Moves copy the zone's reference (the cost of a count), so that a calendar moved from still
// answers.
Calendar::Calendar(Calendar&& other) noexcept : Calendar(static_cast<const Calendar&>(other)) {}
Calendar& Calendar::operator=(Calendar&& other) noexcept {
    return *this = static_cast<const Calendar&>(other);
}
Calendar::~Calendar() = default;

std::int32_t Calendar::offsetAt(std::int64_t utc) const {
    if (utc >= spanFrom_ && utc < spanTo_) {
        return spanOffset_;
    }
    const ZoneRules::Span span = zone_->rules.spanAt(utc);
    spanFrom_ = span.from;
    spanTo_ = span.to;
    spanOffset_ = span.offset;
    return span.offset;
}

Calendar::Components Calendar::components(Date date) const {
    const Instant instant = instantOf(date);
    const std::int64_t local = instant.seconds + offsetAt(instant.seconds);
    const std::int64_t days = CivilDate::floorDiv(local, secondsPerDay);
    const auto secondOfDay = static_cast<int>(local - days * secondsPerDay);
    const CivilDate civil = CivilDate::fromDaysSinceEpoch(days);
    Components c;
    c.year = static_cast<int>(civil.year);
    c.month = civil.month;
    c.day = civil.day;
    c.hour = secondOfDay / 3600;
    c.minute = secondOfDay / 60 % 60;
    c.second = secondOfDay % 60;
    return c;
}

std::string Calendar::dayID(Date date) const {
    const Components c = components(date);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", c.year, c.month, c.day);
    return buffer;
}

int Calendar::hour(Date date) const {
    return components(date).hour;
}

int Calendar::minuteOfDay(Date date) const {
    const Components c = components(date);
    return c.hour * 60 + c.minute;
}

Date Calendar::startOfDay(Date date) const {
    return dateOnDay(date, 0, 0, 0).value_or(date);
}

std::optional<Date> Calendar::addingDays(Date date, int days) const {
    const Instant instant = instantOf(date);
    const std::int64_t moved = instant.seconds + std::int64_t{days} * secondsPerDay;
    if (moved < -farthest || moved > farthest) {
        return std::nullopt;
    }
    const std::int32_t offsetBefore = offsetAt(instant.seconds);
    const std::int64_t wallTime =
        CivilDate::floorMod(instant.seconds + offsetBefore, secondsPerDay);
    auto wallTimeAt = [&](std::int64_t utc) {
        return CivilDate::floorMod(utc + offsetAt(utc), secondsPerDay);
    };
    // Whole days first; where the offset differs there, the difference brings the wall time
    // back, unless that wall time is skipped on the new day.
    std::int64_t result = moved;
    const std::int32_t offsetAfter = offsetAt(moved);
    if (wallTimeAt(moved) != wallTime && offsetAfter != offsetBefore) {
        const std::int64_t difference = offsetBefore - offsetAfter;
        // Within a day, keeping its sign.
        const std::int64_t adjustment = difference % secondsPerDay;
        result = moved + adjustment;
        if (wallTimeAt(result) != wallTime) {
            // Skipped: the next valid wall time is the one the clock jumped to.
            const std::int64_t after = adjustment > 0 ? result : moved;
            if (const auto change = zone_->rules.lastChangeAtOrBefore(after)) {
                return dateOf(*change);
            }
        }
    }
    return dateOf(result, instant.fraction);
}

std::optional<Date> Calendar::dateOnDay(Date date, int hourValue, int minute, int second) const {
    if (hourValue < 0 || hourValue > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
        return std::nullopt;
    }
    const Instant instant = instantOf(date);
    const std::int64_t local = instant.seconds + offsetAt(instant.seconds);
    const std::int64_t midnight = CivilDate::floorDiv(local, secondsPerDay) * secondsPerDay;
    return dateOf(zone_->rules.utcOfLocal(midnight + hourValue * 3600 + minute * 60 + second));
}

std::optional<Date> Calendar::startOfDay(std::string_view dayIDText) const {
    // Exactly "yyyy-MM-dd".
    if (dayIDText.size() != 10 || dayIDText[4] != '-' || dayIDText[7] != '-') {
        return std::nullopt;
    }
    auto number = [&](std::size_t from, std::size_t count, int& out) {
        out = 0;
        for (std::size_t i = from; i < from + count; ++i) {
            const char c = dayIDText[i];
            if (c < '0' || c > '9') {
                return false;
            }
            out = out * 10 + (c - '0');
        }
        return true;
    };
    int year = 0, month = 0, day = 0;
    if (!number(0, 4, year) || !number(5, 2, month) || !number(8, 2, day)) {
        return std::nullopt;
    }
    const CivilDate civil{year, month, day};
    if (!civil.isValid()) {
        return std::nullopt;
    }
    return dateOf(zone_->rules.utcOfLocal(civil.daysSinceEpoch() * secondsPerDay));
}

}  // namespace tapwell

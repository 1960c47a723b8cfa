#include "core/Calendar.h"

#include <unicode/gregocal.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <chrono>
#include <cstdio>
#include <limits>
#include <mutex>

namespace tapwell {

namespace {

UDate toUDate(Date date) {
    return date.unixSeconds() * 1000.0;
}
Date fromUDate(UDate udate) {
    return Date::fromUnix(udate / 1000.0);
}

std::string idOf(const icu::TimeZone& zone) {
    icu::UnicodeString id;
    zone.getID(id);
    std::string out;
    id.toUTF8String(out);
    return out;
}

bool isUnknown(const icu::TimeZone& zone) {
    return zone == icu::TimeZone::getUnknown();
}

std::unique_ptr<icu::Calendar> makeGregorian(std::unique_ptr<icu::TimeZone> zone) {
    UErrorCode status = U_ZERO_ERROR;
    auto calendar =
        std::make_unique<icu::GregorianCalendar>(zone.release(), icu::Locale::getRoot(), status);
    if (U_FAILURE(status)) {
        return nullptr;
    }
    // Purely Gregorian, also before 1582, like the day identifiers it produces.
    calendar->setGregorianChange(-std::numeric_limits<double>::max(), status);
    // Wall times that a daylight-saving change skips move forward; repeated ones take the first.
    calendar->setSkippedWallTimeOption(UCAL_WALLTIME_NEXT_VALID);
    calendar->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
    return calendar;
}

}  // namespace

Calendar::HostZone::HostZone() = default;
Calendar::HostZone::~HostZone() = default;

bool Calendar::HostZone::refresh(double uptime) {
    // A clock that went back (another clock's time) counts as expired too.
    const bool expired = !(uptime - detectedAt_ < redetectAfter && uptime >= detectedAt_);
    if (!prototype_ || expired) {
        std::unique_ptr<icu::TimeZone> detected(icu::TimeZone::detectHostTimeZone());
        if (!detected || isUnknown(*detected)) {
            detected.reset(icu::TimeZone::createTimeZone("UTC"));
        }
        std::string id = idOf(*detected);
        if (!prototype_ || id != zoneID_) {
            // The calendar is kept too, so that an unchanged zone costs a copy, not a
            // construction.
            auto calendar = makeGregorian(std::move(detected));
            if (!calendar) {
                return false;
            }
            prototype_ = std::move(calendar);
            zoneID_ = std::move(id);
        }
        detectedAt_ = uptime;
    }
    return true;
}

Calendar Calendar::HostZone::current(double uptime) {
    std::lock_guard lock(mutex_);
    if (!refresh(uptime)) {
        return *inZone("UTC");
    }
    return Calendar(std::unique_ptr<icu::Calendar>(prototype_->clone()), zoneID_);
}

std::string Calendar::HostZone::zoneID(double uptime) {
    std::lock_guard lock(mutex_);
    if (!refresh(uptime)) {
        return inZone("UTC")->timeZoneID();
    }
    return zoneID_;
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

Calendar::Calendar(std::unique_ptr<icu::Calendar> calendar, std::string zoneID)
    : calendar_(std::move(calendar)), zoneID_(std::move(zoneID)) {}

std::optional<Calendar> Calendar::inZone(std::string_view zoneID) {
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(
        icu::StringPiece(zoneID.data(), static_cast<int32_t>(zoneID.size())))));
    if (!zone || isUnknown(*zone)) {
        return std::nullopt;
    }
    std::string id = idOf(*zone);
    auto calendar = makeGregorian(std::move(zone));
    if (!calendar) {
        return std::nullopt;
    }
    return Calendar(std::move(calendar), std::move(id));
}

Calendar::Calendar(const Calendar& other)
    : calendar_(other.calendar_->clone()), zoneID_(other.zoneID_) {}

Calendar& Calendar::operator=(const Calendar& other) {
    if (this != &other) {
        calendar_.reset(other.calendar_->clone());
        zoneID_ = other.zoneID_;
    }
    return *this;
}

Calendar::Calendar(Calendar&&) noexcept = default;
Calendar& Calendar::operator=(Calendar&&) noexcept = default;
Calendar::~Calendar() = default;

Calendar::Components Calendar::components(Date date) const {
    UErrorCode status = U_ZERO_ERROR;
    calendar_->setTime(toUDate(date), status);
    Components c;
    c.year = calendar_->get(UCAL_EXTENDED_YEAR, status);
    c.month = calendar_->get(UCAL_MONTH, status) + 1;
    c.day = calendar_->get(UCAL_DATE, status);
    c.hour = calendar_->get(UCAL_HOUR_OF_DAY, status);
    c.minute = calendar_->get(UCAL_MINUTE, status);
    c.second = calendar_->get(UCAL_SECOND, status);
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
    UErrorCode status = U_ZERO_ERROR;
    calendar_->setTime(toUDate(date), status);
    calendar_->add(UCAL_DATE, days, status);
    const UDate result = calendar_->getTime(status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return fromUDate(result);
}

std::optional<Date> Calendar::dateOnDay(Date date, int hourValue, int minute, int second) const {
    if (hourValue < 0 || hourValue > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
        return std::nullopt;
    }
    UErrorCode status = U_ZERO_ERROR;
    calendar_->setTime(toUDate(date), status);
    const int32_t year = calendar_->get(UCAL_EXTENDED_YEAR, status);
    const int32_t month = calendar_->get(UCAL_MONTH, status);
    const int32_t day = calendar_->get(UCAL_DATE, status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    calendar_->clear();
    calendar_->set(UCAL_EXTENDED_YEAR, year);
    calendar_->set(UCAL_MONTH, month);
    calendar_->set(UCAL_DATE, day);
    calendar_->set(UCAL_HOUR_OF_DAY, hourValue);
    calendar_->set(UCAL_MINUTE, minute);
    calendar_->set(UCAL_SECOND, second);
    calendar_->set(UCAL_MILLISECOND, 0);
    const UDate result = calendar_->getTime(status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return fromUDate(result);
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
    const std::chrono::year_month_day ymd{std::chrono::year{year},
                                          std::chrono::month{static_cast<unsigned>(month)},
                                          std::chrono::day{static_cast<unsigned>(day)}};
    if (!ymd.ok()) {
        return std::nullopt;
    }
    UErrorCode status = U_ZERO_ERROR;
    calendar_->clear();
    calendar_->set(UCAL_EXTENDED_YEAR, year);
    calendar_->set(UCAL_MONTH, month - 1);
    calendar_->set(UCAL_DATE, day);
    calendar_->set(UCAL_HOUR_OF_DAY, 0);
    calendar_->set(UCAL_MINUTE, 0);
    calendar_->set(UCAL_SECOND, 0);
    calendar_->set(UCAL_MILLISECOND, 0);
    const UDate result = calendar_->getTime(status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return fromUDate(result);
}

}  // namespace tapwell

#include "core/Clock.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "core/Calendar.h"

namespace tapwell {

namespace {

using namespace std::chrono;

bool readDigits(std::string_view text, std::size_t& pos, std::size_t count, int& value) {
    if (pos + count > text.size()) {
        return false;
    }
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

}  // namespace

std::string Date::iso8601() const {
    const double unix = unixSeconds();
    const double wholeSeconds = std::floor(unix);
    long long millis = std::llround((unix - wholeSeconds) * 1000.0);
    long long secs = static_cast<long long>(wholeSeconds);
    if (millis == 1000) {
        millis = 0;
        ++secs;
    }
    const sys_seconds tp{seconds{secs}};
    const auto day = floor<days>(tp);
    const year_month_day ymd{day};
    const hh_mm_ss hms{tp - day};
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02d.%03lldZ",
                  static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                  static_cast<unsigned>(ymd.day()), static_cast<int>(hms.hours().count()),
                  static_cast<int>(hms.minutes().count()), static_cast<int>(hms.seconds().count()),
                  millis);
    return buffer;
}

bool Date::parseIso8601(std::string_view text, Date& out) {
    std::size_t pos = 0;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!readDigits(text, pos, 4, y) || !expect(text, pos, '-') || !readDigits(text, pos, 2, mo) ||
        !expect(text, pos, '-') || !readDigits(text, pos, 2, d)) {
        return false;
    }
    const year_month_day ymd{year{y}, month{static_cast<unsigned>(mo)},
                             day{static_cast<unsigned>(d)}};
    if (!ymd.ok()) {
        return false;
    }
    double fraction = 0.0;
    int offsetSeconds = 0;
    if (pos < text.size()) {
        if (!expect(text, pos, 'T') && !expect(text, pos, ' ')) {
            return false;
        }
        if (!readDigits(text, pos, 2, h) || !expect(text, pos, ':') ||
            !readDigits(text, pos, 2, mi) || !expect(text, pos, ':') ||
            !readDigits(text, pos, 2, s)) {
            return false;
        }
        if (h > 23 || mi > 59 || s > 60) {
            return false;
        }
        if (expect(text, pos, '.') || expect(text, pos, ',')) {
            double scale = 0.1;
            std::size_t digits = 0;
            while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
                fraction += (text[pos] - '0') * scale;
                scale /= 10.0;
                ++pos;
                ++digits;
            }
            if (digits == 0) {
                return false;
            }
        }
        if (expect(text, pos, 'Z')) {
            // UTC
        } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
            const int sign = text[pos] == '-' ? -1 : 1;
            ++pos;
            int oh = 0, om = 0;
            if (!readDigits(text, pos, 2, oh)) {
                return false;
            }
            expect(text, pos, ':');
            if (!readDigits(text, pos, 2, om) || oh > 23 || om > 59) {
                return false;
            }
            offsetSeconds = sign * (oh * 3600 + om * 60);
        } else {
            return false;
        }
        if (pos != text.size()) {
            return false;
        }
    }
    const auto daysSinceEpoch = sys_days{ymd}.time_since_epoch().count();
    const double unix = static_cast<double>(daysSinceEpoch) * 86400.0 + h * 3600.0 + mi * 60.0 + s +
                        fraction - offsetSeconds;
    out = Date::fromUnix(unix);
    return true;
}

Date SystemClock::now() const {
    const auto since = system_clock::now().time_since_epoch();
    return Date::fromUnix(duration<double>(since).count());
}

double SystemClock::uptime() const {
    // libstdc++'s steady_clock is CLOCK_MONOTONIC, the clock of key time stamps.
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

Calendar SystemClock::calendar() const {
    return Calendar::current();
}

std::string SystemClock::timeZoneID() const {
    return Calendar::currentZoneID();
}

std::string Clock::timeZoneID() const {
    return calendar().timeZoneID();
}

SystemClock& SystemClock::shared() {
    static SystemClock clock;
    return clock;
}

}  // namespace tapwell

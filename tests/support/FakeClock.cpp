#include "support/FakeClock.h"

#include <stdexcept>

namespace tapwell::test {

FakeClock::FakeClock(Date now, double uptime, std::string zone)
    : now_(now), uptime_(uptime), zone_(std::move(zone)) {}

Date FakeClock::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

double FakeClock::uptime() const {
    std::lock_guard lock(mutex_);
    return uptime_;
}

Calendar FakeClock::calendar() const {
    std::string zone;
    {
        std::lock_guard lock(mutex_);
        zone = zone_;
    }
    auto calendar = Calendar::inZone(zone);
    if (!calendar) {
        throw std::invalid_argument("unknown time zone " + zone);
    }
    return *calendar;
}

void FakeClock::advance(double seconds) {
    std::lock_guard lock(mutex_);
    now_ = now_ + seconds;
    uptime_ += seconds;
}

void FakeClock::setNow(Date now) {
    std::lock_guard lock(mutex_);
    now_ = now;
}

void FakeClock::setUptime(double uptime) {
    std::lock_guard lock(mutex_);
    uptime_ = uptime;
}

void FakeClock::setTimeZone(std::string zone) {
    std::lock_guard lock(mutex_);
    zone_ = std::move(zone);
}

}  // namespace tapwell::test

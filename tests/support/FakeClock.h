#pragma once
// A clock that tests move by hand. Thread-safe, so a service's queue may read it while the test
// advances it.

#include <mutex>
#include <string>

#include "core/Calendar.h"
#include "core/Clock.h"

namespace tapwell::test {

class FakeClock final : public Clock {
public:
    explicit FakeClock(Date now = Date{0.0}, double uptime = 1000.0, std::string zone = "UTC");

    Date now() const override;
    double uptime() const override;
    Calendar calendar() const override;

    // Moves wall time and uptime forward together.
    void advance(double seconds);
    void setNow(Date now);
    void setUptime(double uptime);
    void setTimeZone(std::string zone);

private:
    mutable std::mutex mutex_;
    Date now_;
    double uptime_;
    std::string zone_;
};

}  // namespace tapwell::test

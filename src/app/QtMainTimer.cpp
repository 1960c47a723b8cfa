#include "app/QtMainTimer.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace tapwell {

void QtMainTimer::schedule(double seconds, std::function<void()> work) {
    const auto delay = std::chrono::milliseconds(std::lround(std::max(seconds, 0.0) * 1000.0));
    // A precise timer: a fade that should end after 0.2 s must not drift by the coarse timer's 5 %.
    QTimer::singleShot(delay, Qt::PreciseTimer, context_, std::move(work));
}

}  // namespace tapwell

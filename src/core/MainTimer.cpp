#include "core/MainTimer.h"

namespace tapwell {

void ScheduledWork::cancel() {
    if (state_) {
        state_->done = true;
    }
}

bool ScheduledWork::pending() const {
    return state_ && !state_->done;
}

ScheduledWork MainTimer::after(double seconds, std::function<void()> work) {
    auto state = std::make_shared<ScheduledWork::State>();
    // The closure shares the state with the handle: a cancelled handle marks it done, and the
    // closure then does nothing when its time comes.
    schedule(seconds, [state, work = std::move(work)] {
        if (state->done) {
            return;
        }
        state->done = true;
        work();
    });
    return ScheduledWork(std::move(state));
}

}  // namespace tapwell

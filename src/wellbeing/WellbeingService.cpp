#include "wellbeing/WellbeingService.h"

#include <utility>

#include "core/UserDefaults.h"

namespace tapwell {

WellbeingService::WellbeingService(UserDefaults& defaults, Clock& clock)
    : defaults_(defaults),
      clock_(clock),
      debug_(defaults.boolValue(debugKey).value_or(false)),
      queue_(queueLabel, clock.scheduler(), keyInboxCapacity, [this](const KeyDown& key) {
          rules_.recordKeyDown(key.date, key.uptime, clock_.calendar());
      }) {
    rules_.ledger = WellbeingLedger::load(defaults_);
    rules_.debug = debug_;
}

WellbeingService::~WellbeingService() {
    // The timer handler uses `this`: once cancel() has returned it never starts again, and a
    // running handler has been waited for. The queue then runs what is left, fields still alive.
    auto cancel = [this] {
        timer_.cancel();
        timer_ = QueueTimer{};
    };
    if (queue_.isCurrent()) {
        cancel();
    } else {
        queue_.sync(cancel);
    }
}

void WellbeingService::start() {
    queue_.async([this] {
        if (started_ || stopped_) {
            return;
        }
        started_ = true;
        timer_ = queue_.makeTimer(0.0, tickPeriod(), tickLeeway, [this] { tick(); });
    });
}

void WellbeingService::record(const KeyActivity& activity, Date date) {
    if (!activity.isDown) {
        return;
    }
    // Nothing is decided on a key itself: the next pass or operation counts it first, so the
    // key need not wake the queue.
    queue_.postQuietly(KeyDown{activity.timestamp, date});
}

void WellbeingService::updateTotal(std::int64_t total) {
    // Only a pass reads the total, and it comes a few times a second while typing: a store
    // costs nothing, waking the queue for it would cost a thread switch each time.
    total_.store(total, std::memory_order_relaxed);
}

void WellbeingService::configure(const AppPreferences& preferences, bool contextPaused) {
    queue_.async([this, preferences, contextPaused] {
        rules_.preferences = preferences;
        contextPaused_ = contextPaused;
        tick();
    });
}

void WellbeingService::act(BreakAction action) {
    queue_.async([this, action] {
        rules_.act(action, clock_.now());
        persist();
        tick();
    });
}

void WellbeingService::setPaused(std::optional<Date> until) {
    queue_.async([this, until] {
        rules_.ledger.pausedUntil = until;
        persist();
        tick();
    });
}

void WellbeingService::suspend() {
    queue_.sync([this] {
        rules_.setSuspended(true);
        persist();
    });
}

void WellbeingService::resume() {
    queue_.async([this] {
        rules_.setSuspended(false);
        tick();
    });
}

void WellbeingService::stop() {
    queue_.sync([this] {
        stopped_ = true;
        timer_.cancel();
        timer_ = QueueTimer{};
        persist();
    });
}

void WellbeingService::sync() {
    queue_.sync([] {});
}

WellbeingRules WellbeingService::rules() {
    return queue_.sync([this] { return rules_; });
}

void WellbeingService::tick() {
    const Date now = clock_.now();
    const double uptime = clock_.uptime();
    const WellbeingLedger before = rules_.ledger;
    // Read afresh at every pass, so that a change of time zone reaches the rules.
    const Calendar calendar = clock_.calendar();
    auto events = rules_.evaluate(now, uptime, total_.load(std::memory_order_relaxed), calendar,
                                  contextPaused_);
    if (rules_.ledger != before) {
        persist();
    }
    if (onUpdate) {
        onUpdate(events, rules_.status(now, uptime, calendar, contextPaused_));
    }
}

void WellbeingService::persist() {
    // A ledger that cannot be encoded leaves the stored value as it was.
    rules_.ledger.save(defaults_);
}

}  // namespace tapwell

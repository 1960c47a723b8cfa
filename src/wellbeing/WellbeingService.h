#pragma once
// Runs the wellbeing rules in the background on the "com.tapwell.wellbeing" queue: a repeating
// pass every 30 s (every second in debug timing), fed with key-downs, the day's keystroke total,
// the preferences, the meeting pause and the user's pause and break answers. Every pass reports
// through `onUpdate` on the wellbeing queue; the receiver moves to the main thread itself. The
// ledger is loaded at creation and written back to the user defaults whenever it changes.
//
// All operations hand their work to the queue and return at once, except `suspend` and `stop`,
// which wait so that the ledger is written before the system sleeps or the program exits.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "core/Calendar.h"
#include "core/Clock.h"
#include "core/InboxQueue.h"
#include "keyboard/KeyActivity.h"
#include "preferences/AppPreferences.h"
#include "wellbeing/WellbeingEvent.h"
#include "wellbeing/WellbeingLedger.h"
#include "wellbeing/WellbeingRules.h"

namespace tapwell {

class UserDefaults;

class WellbeingService {
  public:
    using UpdateCallback =
        std::function<void(const std::vector<WellbeingEvent>& events, const WellbeingStatus&)>;

    static constexpr const char* queueLabel = "com.tapwell.wellbeing";
    // The boolean user default that switches on debug timing for the life of the service.
    static constexpr const char* debugKey = "TapwellWellbeingDebug";
    static constexpr double tickSeconds = 30.0;
    static constexpr double debugTickSeconds = 1.0;
    static constexpr double tickLeeway = 0.2;
    // Key-downs the queue can fall behind by before a hand-over takes the slower, allocating way.
    static constexpr std::size_t keyInboxCapacity = 1024;

    // Loads the stored ledger (a fresh one when missing or unreadable) and the debug switch.
    // `defaults` and `clock` must outlive the service.
    WellbeingService(UserDefaults& defaults, Clock& clock);
    ~WellbeingService();
    WellbeingService(const WellbeingService&) = delete;
    WellbeingService& operator=(const WellbeingService&) = delete;

    // Called on the wellbeing queue after every pass, also with no events. Set before `start`.
    UpdateCallback onUpdate;

    // Starts the repeating pass, the first one at once. Only the first call counts, and none
    // after `stop`.
    void start();
    // Key-ups are dropped here, before any work is queued. Callable from any thread; never blocks,
    // and neither locks, allocates nor wakes the queue while the queue keeps up (see InboxQueue):
    // the key-down is counted before the next pass or operation.
    void record(const KeyActivity& activity, Date date);
    // Key-downs that found the inbox full and were handed over the slower way (none are lost).
    std::uint64_t overflowedKeys() const { return queue_.overflows(); }
    // The day's keystroke total for the next pass. Any thread; never wakes the queue.
    void updateTotal(std::int64_t total);
    // New preferences and meeting pause, followed by an immediate pass.
    void configure(const AppPreferences& preferences, bool contextPaused);
    void act(BreakAction action);
    // Pauses every nudge until `until`; no value ends the pause.
    void setPaused(std::optional<Date> until);
    // Waits until the rules are suspended and the ledger is written.
    void suspend();
    void resume();
    // Waits until the timer is cancelled and the ledger is written.
    void stop();

    // Waits until every operation queued before it has run.
    void sync();
    // Copies taken on the queue (waiting).
    WellbeingRules rules();
    bool debugTiming() const { return debug_; }
    double tickPeriod() const { return debug_ ? debugTickSeconds : tickSeconds; }

  private:
    struct KeyDown {
        double uptime = 0.0;
        Date date;
    };

    void tick();
    void persist();

    UserDefaults& defaults_;
    Clock& clock_;
    const bool debug_;
    // Everything below is touched only on queue_.
    WellbeingRules rules_;
    QueueTimer timer_;
    std::atomic<std::int64_t> total_{0};  // any thread
    bool contextPaused_ = false;
    bool started_ = false;
    bool stopped_ = false;
    // Declared last so it goes first: work still queued at destruction sees live fields.
    InboxQueue<KeyDown> queue_;
};

}  // namespace tapwell

#pragma once
// The statistics service. Owns the ledger and the day files and touches both only on its private
// queue "com.tapwell.stats": counts key-downs handed over from the key path (through the queue's
// inbox, without a lock, an allocation or a wake-up, in order with everything else), publishes a
// snapshot of today at every tick (the owner ticks a few times a second; the keys counted since
// the last tick are in it) and for every key that lifts today's rank, writes changed days every
// 10 s and at the moments that matter (day change, sleep, quit), and exports or deletes all
// statistics.
//
// `onSnapshot` and the completions run on the queue; set `onSnapshot` before `start()`.
// `suspend()`, `stop()` and `current()` wait for the queue and must not be called from it.

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/Clock.h"
#include "core/Error.h"
#include "core/FileSystem.h"
#include "core/InboxQueue.h"
#include "keyboard/KeyActivity.h"
#include "stats/DailyStats.h"
#include "stats/StatsLedger.h"
#include "stats/StatsPersistence.h"

namespace tapwell {

class StatsStore {
  public:
    static constexpr double defaultSaveInterval = 10.0;
    // Key-downs the queue can fall behind by before a hand-over takes the slower, allocating way.
    static constexpr std::size_t keyInboxCapacity = 1024;

    // (snapshot, rankRose): rankRose is true only for the publication of the key that lifted
    // today's rank, which comes right when that key is counted.
    using SnapshotHandler = std::function<void(const StatsSnapshot&, bool)>;
    // No value on success.
    using Completion = std::function<void(std::optional<Error>)>;

    // A damaged day file this store moved aside.
    struct SetAsideDay {
        std::string day;
        std::filesystem::path file;  // where it went
    };

    // `directory` defaults to StatsPersistence::defaultDirectory(). The save timer runs on the
    // clock's scheduler. The save interval and the file writer are parameters only so that tests
    // need not wait 10 s and can make writes fail.
    explicit StatsStore(Clock& clock, std::optional<std::filesystem::path> directory = {},
                        double saveInterval = defaultSaveInterval, FileWriter writeFile = {});
    ~StatsStore();
    StatsStore(const StatsStore&) = delete;
    StatsStore& operator=(const StatsStore&) = delete;

    SnapshotHandler onSnapshot;

    const std::filesystem::path& directory() const { return persistence_.directory(); }

    // Narrows the folder and files to their owner, removes what killed saves left, publishes
    // once and starts the periodic save timer.
    void start();
    // Called from the key path for every key activity; releases are dropped right here. Any
    // thread; `date` is the wall time of the key. The key is counted, in order, when the queue
    // next runs (a tick, the save timer, any other call) and published with the next tick.
    void record(const KeyActivity& activity, Date date);
    // Key-downs that found the inbox full and were handed over the slower way (none are lost).
    std::uint64_t overflowedKeys() const { return queue_.overflows(); }
    // Counts the keys handed over so far and publishes, with the clock's current moment.
    void tick();
    // Waits: stops counting, ends the current typing run and saves.
    void suspend();
    void resume();
    // Waits: stops counting, cancels the timer, ends the typing run and saves for the last time.
    void stop();
    // Writes every known day (files and memory, memory winning) to `file` as one JSON array.
    void exportTo(std::filesystem::path file, Completion completion);
    // Removes the folder with every day and quarantined file, then starts afresh.
    void deleteAll(Completion completion);

    // Waits: today's snapshot, loading today and yesterday as needed, without publishing or
    // saving. For readers such as the command line.
    StatsSnapshot current();
    // Waits: the last `count` days up to today, oldest first, each as held in memory, else as
    // stored, else empty. Files are only read here: a damaged one reads as an empty day and stays
    // where it is.
    std::vector<DailyStats> recentDays(int count);

    // Waits: the damaged day files moved aside so far, each also logged once. A reader such as
    // the command line tells its user.
    std::vector<SetAsideDay> setAsideDays();

    // Waits until the work queued so far has run. For tests and orderly hand-overs.
    void sync();

  private:
    struct KeyDown {
        double timestamp = 0.0;
        Date date;
    };

    // The calendar of the clock's zone, kept while the zone stays. On the queue only.
    const Calendar& currentCalendar();
    // Returns the day identifier of `date`.
    std::string ensureLoaded(Date date, const Calendar& calendar);
    void recordOnQueue(double timestamp, Date date);
    void publish();
    // Saves at once when `day`, the day of a key or publication, differs from the last one.
    void noteDay(const std::string& day);
    void save();
    void exportOnQueue(const std::filesystem::path& file, const Completion& completion);
    void deleteOnQueue(const Completion& completion);

    Clock& clock_;
    double saveInterval_;
    StatsPersistence persistence_;
    StatsLedger ledger_;
    std::set<std::string> blocked_;
    std::vector<SetAsideDay> setAside_;
    // Saves keep failing (disk full, folder gone or read-only): the error was logged once and
    // is not repeated until a save succeeds again.
    bool saveFailing_ = false;
    QueueTimer timer_;
    bool suspended_ = false;
    std::optional<std::string> lastDay_;
    // The day and zone whose loading was last settled; a key of the same day skips the lookups.
    std::optional<std::pair<std::string, std::string>> settledDay_;
    std::optional<Calendar> calendar_;
    // Declared last so that it is destroyed first: queued work still finds every field alive.
    InboxQueue<KeyDown> queue_;
};

}  // namespace tapwell

#include "stats/StatsStore.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "core/Calendar.h"
#include "core/FileSystem.h"
#include "core/Log.h"
#include "stats/RankService.h"

namespace tapwell {

StatsStore::StatsStore(Clock& clock, std::optional<std::filesystem::path> directory,
                       double saveInterval, FileWriter writeFile)
    : clock_(clock),
      saveInterval_(saveInterval),
      persistence_(directory ? std::move(*directory) : StatsPersistence::defaultDirectory(),
                   std::move(writeFile)),
      queue_("com.tapwell.stats", clock.scheduler(), keyInboxCapacity,
             [this](const KeyDown& key) { recordOnQueue(key.timestamp, key.date); }) {}

StatsStore::~StatsStore() {
    // The timer goes first; the queue (the last member) then runs what is still queued while
    // every other field is alive.
    timer_.cancel();
}

void StatsStore::start() {
    queue_.async([this] {
        const auto [narrowed, error] = persistence_.narrowToOwner();
        if (error) {
            logger(LogCategory::stats)
                .warn("Stats: {} is open to other users and could not be narrowed: {}",
                      persistence_.directory().string(), error->description);
        } else if (narrowed > 0) {
            logger(LogCategory::stats)
                .info(
                    "Stats: {} folders and files in {} were open to other users; now their "
                    "owner's only",
                    narrowed, persistence_.directory().string());
        }
        if (const int removed = persistence_.removeUnfinishedSaves(); removed > 0) {
            logger(LogCategory::stats)
                .info("Stats: removed {} unfinished saves of an earlier run", removed);
        }
        publish();
        timer_ = queue_.makeTimer(saveInterval_, saveInterval_, 0.0, [this] { save(); });
    });
}

void StatsStore::record(const KeyActivity& activity, Date date) {
    if (!activity.isDown) {
        return;
    }
    // The queue wakes for its ticks and timer anyway; a key alone need not wake it.
    queue_.postQuietly(KeyDown{activity.timestamp, date});
}

void StatsStore::tick() {
    queue_.async([this] { publish(); });
}

void StatsStore::suspend() {
    queue_.sync([this] {
        suspended_ = true;
        ledger_.resetStreak();
        save();
    });
}

void StatsStore::resume() {
    queue_.async([this] {
        ledger_.resetStreak();
        suspended_ = false;
    });
}

void StatsStore::stop() {
    queue_.sync([this] {
        suspended_ = true;
        timer_.cancel();
        timer_ = QueueTimer{};
        ledger_.resetStreak();
        save();
    });
}

void StatsStore::exportTo(std::filesystem::path file, Completion completion) {
    queue_.async([this, file = std::move(file), completion = std::move(completion)] {
        exportOnQueue(file, completion);
    });
}

void StatsStore::deleteAll(Completion completion) {
    queue_.async([this, completion = std::move(completion)] { deleteOnQueue(completion); });
}

StatsSnapshot StatsStore::current() {
    return queue_.sync([this] {
        const Calendar& calendar = currentCalendar();
        const Date now = clock_.now();
        ensureLoaded(now, calendar);
        return ledger_.snapshot(now, clock_.uptime(), calendar);
    });
}

std::vector<DailyStats> StatsStore::recentDays(int count) {
    return queue_.sync([this, count] {
        const Calendar& calendar = currentCalendar();
        const Date now = clock_.now();
        ensureLoaded(now, calendar);
        std::vector<DailyStats> days;
        for (int back = count - 1; back >= 0; --back) {
            const auto date = calendar.addingDays(now, -back);
            if (!date) {
                continue;
            }
            std::string day = StatsLedger::dayID(*date, calendar);
            if (const auto known = ledger_.days.find(day); known != ledger_.days.end()) {
                days.push_back(known->second);
                continue;
            }
            const ReadResult read = readFile(persistence_.fileFor(day));
            std::optional<DailyStats> stored =
                read.contents ? StatsPersistence::decode(*read.contents) : std::nullopt;
            if (stored && stored->isValid() && stored->date == day) {
                days.push_back(std::move(*stored));
            } else {
                days.push_back(DailyStats::empty(std::move(day)));
            }
        }
        return days;
    });
}

std::vector<StatsStore::SetAsideDay> StatsStore::setAsideDays() {
    return queue_.sync([this] { return setAside_; });
}

const Calendar& StatsStore::currentCalendar() {
    // Building a calendar costs more than a key's whole bookkeeping; its zone's id is cheap.
    if (!calendar_ || calendar_->timeZoneID() != clock_.timeZoneID()) {
        calendar_ = clock_.calendar();
    }
    return *calendar_;
}

void StatsStore::sync() {
    queue_.sync([] {});
}

std::string StatsStore::ensureLoaded(Date date, const Calendar& calendar) {
    std::string today = ledger_.dayOf(date, calendar);
    if (settledDay_ && settledDay_->first == today &&
        settledDay_->second == calendar.timeZoneID()) {
        return today;
    }
    std::string days[2] = {today, {}};
    if (const auto yesterday = calendar.addingDays(date, -1)) {
        days[1] = StatsLedger::dayID(*yesterday, calendar);
    }
    for (const std::string& day : days) {
        if (day.empty() || ledger_.days.contains(day) || blocked_.contains(day)) {
            continue;
        }
        std::filesystem::path aside;
        auto loaded = persistence_.load(day, &aside);
        if (!aside.empty()) {
            logger(LogCategory::stats)
                .warn("Stats: the file of {} was damaged and is kept as {}; the day starts afresh",
                      day, aside.string());
            setAside_.push_back({day, aside});
        }
        if (!loaded) {
            // The damaged file stays where it is; the day counts in memory but is never written.
            blocked_.insert(day);
            logger(LogCategory::stats)
                .error("Stats read/backup failed: {}", loaded.error().description);
            continue;
        }
        ledger_.days.emplace(day, loaded->value_or(DailyStats::empty(day)));
    }
    settledDay_.emplace(today, calendar.timeZoneID());
    return today;
}

void StatsStore::recordOnQueue(double timestamp, Date date) {
    if (suspended_) {
        return;
    }
    const Calendar& calendar = currentCalendar();
    const std::string today = ensureLoaded(date, calendar);
    const auto known = ledger_.days.find(today);
    const std::int64_t previous = known == ledger_.days.end() ? 0 : known->second.keystrokes;
    const DailyStats& counted = ledger_.count(date, timestamp, calendar);
    // Counted keys reach the owner with the next tick, which costs no extra wake-up of its
    // thread. The key that lifts the rank is published at once, with the count that reached the
    // rank, so that every rise is told exactly once.
    if (onSnapshot &&
        RankService::rankIndex(previous) < RankService::rankIndex(counted.keystrokes)) {
        onSnapshot(StatsSnapshot{counted, ledger_.currentKpm()}, true);
    }
    noteDay(counted.date);
}

void StatsStore::publish() {
    const Calendar& calendar = currentCalendar();
    const Date now = clock_.now();
    ensureLoaded(now, calendar);
    const StatsSnapshot snapshot = ledger_.snapshot(now, clock_.uptime(), calendar);
    if (onSnapshot) {
        onSnapshot(snapshot, false);
    }
    noteDay(snapshot.today.date);
}

void StatsStore::noteDay(const std::string& day) {
    // The first key or publication of a new day writes the finished day at once.
    if (lastDay_ && *lastDay_ != day) {
        save();
    }
    if (lastDay_ != day) {
        lastDay_ = day;
    }
}

void StatsStore::save() {
    bool failed = false;
    bool saved = false;
    for (auto it = ledger_.dirty.begin(); it != ledger_.dirty.end();) {
        if (blocked_.contains(*it)) {
            ++it;
            continue;
        }
        // A failed write leaves the previous file in place and the day dirty: the next save
        // writes everything counted meanwhile.
        if (auto error = persistence_.save(ledger_.days.at(*it))) {
            if (!saveFailing_ && !failed) {
                logger(LogCategory::stats)
                    .error("Stats save failed: {}; counting goes on and the next saves retry",
                           error->description);
            }
            failed = true;
            ++it;
            continue;
        }
        saved = true;
        it = ledger_.dirty.erase(it);
    }
    if (failed) {
        saveFailing_ = true;
    } else if (saveFailing_ && saved) {
        saveFailing_ = false;
        logger(LogCategory::stats).info("Stats saved again");
    }
}

void StatsStore::exportOnQueue(const std::filesystem::path& file, const Completion& completion) {
    auto finish = [&completion](std::optional<Error> error) {
        if (completion) {
            completion(std::move(error));
        }
    };

    std::vector<std::filesystem::path> entries;
    std::error_code code;
    for (std::filesystem::directory_iterator it(persistence_.directory(), code), end;
         !code && it != end; it.increment(code)) {
        entries.push_back(it->path());
    }
    // A folder that cannot be listed (usually: not created yet) holds nothing to export.

    std::map<std::string, DailyStats> records;
    for (const std::filesystem::path& entry : entries) {
        const std::string name = entry.filename().string();
        if (entry.extension() != ".json" || StatsPersistence::isQuarantineName(name)) {
            continue;
        }
        ReadResult read = readFile(entry);
        if (!read.contents) {
            finish(read.error);
            return;
        }
        std::optional<DailyStats> stats = StatsPersistence::decode(*read.contents);
        if (!stats) {
            finish(StatsPersistence::corruptFileError(entry, "not a day record"));
            return;
        }
        if (!stats->isValid()) {
            finish(StatsPersistence::corruptFileError(entry, "its counts do not add up"));
            return;
        }
        std::string date = stats->date;
        records.insert_or_assign(std::move(date), std::move(*stats));
    }
    for (const auto& [day, stats] : ledger_.days) {
        records.insert_or_assign(day, stats);
    }

    // std::map already orders the days as plain strings, which is date order.
    std::vector<DailyStats> sorted;
    sorted.reserve(records.size());
    for (auto& [day, stats] : records) {
        sorted.push_back(std::move(stats));
    }
    finish(writeFileAtomically(file, StatsPersistence::encodeExport(sorted), ownerOnlyFile));
}

void StatsStore::deleteOnQueue(const Completion& completion) {
    std::error_code code;
    if (std::filesystem::exists(persistence_.directory(), code)) {
        std::filesystem::remove_all(persistence_.directory(), code);
        if (code) {
            if (completion) {
                completion(Error{"posix", code.value(),
                                 persistence_.directory().string() + ": " + code.message()});
            }
            return;
        }
    }
    ledger_ = StatsLedger{};
    blocked_.clear();
    lastDay_.reset();
    settledDay_.reset();
    publish();
    if (completion) {
        completion(std::nullopt);
    }
}

}  // namespace tapwell

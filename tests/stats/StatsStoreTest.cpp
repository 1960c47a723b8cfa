#include "stats/StatsStore.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "StatsTestSupport.h"
#include "stats/StatsPersistence.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;
using test::localTime;
using test::zone;

std::string dayFile(const DailyStats& stats) {
    return StatsPersistence::encode(stats);
}

DailyStats dayWith(const std::string& day, std::int64_t keystrokes, int hour = 8) {
    DailyStats stats = DailyStats::empty(day);
    stats.keystrokes = keystrokes;
    stats.hourly[static_cast<std::size_t>(hour)] = keystrokes;
    return stats;
}

std::size_t countQuarantined(const fs::path& folder) {
    std::size_t count = 0;
    std::error_code code;
    for (fs::directory_iterator it(folder, code), end; !code && it != end; it.increment(code)) {
        count += StatsPersistence::isQuarantineName(it->path().filename().string()) ? 1 : 0;
    }
    return count;
}

struct Publication {
    StatsSnapshot snapshot;
    bool rankRose = false;
};

// A store on a fake clock (09:15 UTC on 2024-03-05) writing into a temporary folder.
class StatsStoreTest : public ::testing::Test {
  public:
    test::TempDir dir;
    fs::path folder = dir / "Tapwell/stats";
    test::FakeClock clock{localTime(zone("UTC"), "2024-03-05", 9, 15), 1000.0, "UTC"};
    std::mutex mutex;
    std::vector<Publication> publications;

    std::unique_ptr<StatsStore> makeStore(double saveInterval = StatsStore::defaultSaveInterval) {
        auto store = std::make_unique<StatsStore>(clock, folder, saveInterval);
        store->onSnapshot = [this](const StatsSnapshot& snapshot, bool rankRose) {
            std::lock_guard lock(mutex);
            publications.push_back({snapshot, rankRose});
        };
        return store;
    }

    void key(StatsStore& store, double advance = 0.2) {
        clock.advance(advance);
        store.record(KeyActivity{KeyKind::normal, true, clock.uptime()}, clock.now());
    }

    Publication last() {
        std::lock_guard lock(mutex);
        EXPECT_FALSE(publications.empty());
        return publications.empty() ? Publication{} : publications.back();
    }
    std::size_t count() {
        std::lock_guard lock(mutex);
        return publications.size();
    }

    void writeDay(const DailyStats& stats) {
        dir.write("Tapwell/stats/" + stats.date + ".json", dayFile(stats));
    }
    std::optional<DailyStats> readDay(const std::string& day) {
        auto loaded = StatsPersistence(folder).load(day);
        return loaded ? *loaded : std::nullopt;
    }
};

TEST_F(StatsStoreTest, StartPublishesTodayLoadedFromDisk) {
    writeDay(dayWith("2024-03-05", 40));
    auto store = makeStore();
    store->start();
    store->sync();
    ASSERT_EQ(count(), 1u);
    EXPECT_EQ(last().snapshot.today, dayWith("2024-03-05", 40));
    EXPECT_EQ(last().snapshot.kpm, 0);
    EXPECT_FALSE(last().rankRose);
}

TEST_F(StatsStoreTest, CountsKeyDownsAndIgnoresReleases) {
    auto store = makeStore();
    store->start();
    key(*store);
    store->record(KeyActivity{KeyKind::space, false, clock.uptime()}, clock.now());
    store->sync();
    ASSERT_EQ(count(), 2u) << "the release is not published";
    EXPECT_EQ(last().snapshot.today.keystrokes, 1);
    EXPECT_EQ(last().snapshot.today.hourly[9], 1);
    EXPECT_EQ(last().snapshot.kpm, 12);
}

TEST_F(StatsStoreTest, StopSavesAndLaterKeysAreNotCounted) {
    auto store = makeStore();
    store->start();
    key(*store);
    key(*store);
    store->stop();
    EXPECT_EQ(readDay("2024-03-05"), last().snapshot.today);
    const std::size_t before = count();
    key(*store);
    store->sync();
    EXPECT_EQ(count(), before);
    EXPECT_EQ(store->current().today.keystrokes, 2);
    EXPECT_EQ(readDay("2024-03-05")->keystrokes, 2);
}

TEST_F(StatsStoreTest, RankRisesExactlyOnEachThreshold) {
    for (std::int64_t threshold : {2000, 8000, 20000, 40000, 80000}) {
        SCOPED_TRACE(threshold);
        fs::remove_all(folder);
        writeDay(dayWith("2024-03-05", threshold - 2));
        auto store = makeStore();
        store->start();
        key(*store);
        store->sync();
        EXPECT_FALSE(last().rankRose);
        EXPECT_EQ(last().snapshot.today.keystrokes, threshold - 1);
        key(*store);
        store->sync();
        EXPECT_TRUE(last().rankRose);
        EXPECT_EQ(last().snapshot.today.keystrokes, threshold);
        key(*store);
        store->sync();
        EXPECT_FALSE(last().rankRose);
        store->tick();
        store->sync();
        EXPECT_FALSE(last().rankRose) << "a tick never celebrates";
    }
}

TEST_F(StatsStoreTest, FirstKeyOfNewDayFlushesEveryDirtyDay) {
    clock.setNow(localTime(zone("UTC"), "2024-03-05", 23, 59, 59));
    auto store = makeStore();
    store->start();
    key(*store, 0.0);
    store->sync();
    EXPECT_FALSE(fs::exists(folder / "2024-03-05.json")) << "no save before the timer";
    key(*store, 2.0);
    store->sync();
    EXPECT_EQ(last().snapshot.today.date, "2024-03-06");
    ASSERT_TRUE(readDay("2024-03-05").has_value());
    EXPECT_EQ(readDay("2024-03-05")->keystrokes, 1);
    EXPECT_DOUBLE_EQ(readDay("2024-03-05")->focusSeconds, 1.0);
    ASSERT_TRUE(readDay("2024-03-06").has_value());
    EXPECT_EQ(readDay("2024-03-06")->keystrokes, 1);
}

TEST_F(StatsStoreTest, TickAcrossMidnightFlushesToo) {
    clock.setNow(localTime(zone("UTC"), "2024-03-05", 23, 59, 58));
    auto store = makeStore();
    store->start();
    key(*store, 0.0);
    clock.advance(5.0);
    store->tick();
    store->sync();
    EXPECT_EQ(last().snapshot.today, DailyStats::empty("2024-03-06"));
    EXPECT_EQ(readDay("2024-03-05")->keystrokes, 1);
}

TEST_F(StatsStoreTest, LoadsOnlyTodayAndYesterday) {
    dir.write("Tapwell/stats/2024-03-04.json", "damaged yesterday");
    dir.write("Tapwell/stats/2024-03-03.json", "damaged, but older");
    auto store = makeStore();
    store->start();
    store->sync();
    EXPECT_FALSE(fs::exists(folder / "2024-03-04.json"));
    EXPECT_TRUE(fs::exists(folder / "2024-03-03.json"));
    EXPECT_EQ(countQuarantined(folder), 1u);
}

TEST_F(StatsStoreTest, DamagedTodayStartsEmptyAndIsRewritten) {
    dir.write("Tapwell/stats/2024-03-05.json", R"({"breaks":0,"date":"2024-03-05"})");
    auto store = makeStore();
    store->start();
    key(*store);
    store->stop();
    EXPECT_EQ(last().snapshot.today.keystrokes, 1);
    EXPECT_EQ(countQuarantined(folder), 1u);
    EXPECT_EQ(readDay("2024-03-05")->keystrokes, 1);
}

// A day whose damaged file cannot be moved aside must never be written: the user's file stays as
// it is, and the day still counts in memory.
void expectBlockedDay(StatsStoreTest& test, StatsStore& store, const fs::path& file,
                      const std::string& original) {
    store.start();
    store.record(KeyActivity{KeyKind::normal, true, 1000.5}, test.clock.now() + 0.5);
    store.stop();
    EXPECT_EQ(store.current().today.keystrokes, 1);
    std::ifstream in(file, std::ios::binary);
    const std::string now((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(now, original);
}

TEST_F(StatsStoreTest, UnmovableDamagedFileBlocksTheDay) {
    // Paths of 4096 bytes or more are refused by the kernel, for root too: the day file fits,
    // its quarantine name (50 bytes longer) does not, so moving it aside fails.
    fs::path deep = dir.path();
    while (deep.string().size() < 3800) {
        deep /= std::string(200, 'd');
    }
    deep /= std::string(4060 - deep.string().size() - 1, 's');
    ASSERT_EQ(deep.string().size(), 4060u);
    fs::create_directories(deep);
    const std::string original = "not a day record";
    { std::ofstream(deep / "2024-03-05.json") << original; }
    StatsStore store(clock, deep);
    expectBlockedDay(*this, store, deep / "2024-03-05.json", original);
    EXPECT_EQ(countQuarantined(deep), 0u);
}

TEST_F(StatsStoreTest, ReadOnlyFolderBlocksTheDay) {
    const std::string original = "{broken";
    dir.write("Tapwell/stats/2024-03-05.json", original);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    {
        std::ofstream probe(folder / "probe");
        if (probe) {
            fs::permissions(folder, fs::perms::owner_all);
            GTEST_SKIP() << "running with privileges that write into read-only folders";
        }
    }
    auto store = makeStore();
    expectBlockedDay(*this, *store, folder / "2024-03-05.json", original);
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(countQuarantined(folder), 0u);
}

TEST_F(StatsStoreTest, FailedSaveIsRetried) {
    // A file where the folder should be makes every save fail until it is gone.
    dir.write("Tapwell/stats", "in the way");
    auto store = makeStore();
    store->start();
    key(*store);
    store->suspend();
    EXPECT_FALSE(fs::is_directory(folder));
    fs::remove(folder);
    store->stop();
    EXPECT_EQ(readDay("2024-03-05")->keystrokes, 1);
}

TEST_F(StatsStoreTest, SuspendSavesDropsKeysAndResumeStartsFreshRun) {
    auto store = makeStore();
    store->start();
    key(*store);
    key(*store, 1.0);
    store->suspend();
    EXPECT_EQ(readDay("2024-03-05")->keystrokes, 2);
    key(*store, 1.0);
    store->sync();
    EXPECT_EQ(last().snapshot.today.keystrokes, 2);
    store->resume();
    key(*store, 30.0);  // within two minutes of the last key, but after sleep
    store->sync();
    EXPECT_EQ(last().snapshot.today.keystrokes, 3);
    EXPECT_DOUBLE_EQ(last().snapshot.today.focusSeconds, 1.0);
}

TEST_F(StatsStoreTest, TimerSavesDirtyDaysEveryTenSeconds) {
    auto store = makeStore();
    store->start();
    key(*store, 0.2);
    clock.advance(StatsStore::defaultSaveInterval - 0.2 - 0.001);
    EXPECT_FALSE(fs::exists(folder / "2024-03-05.json"));
    clock.advance(0.001);
    ASSERT_TRUE(readDay("2024-03-05").has_value());
    EXPECT_EQ(readDay("2024-03-05")->keystrokes, 1);

    key(*store, 1.0);
    clock.advance(StatsStore::defaultSaveInterval - 1.0);
    EXPECT_EQ(readDay("2024-03-05")->keystrokes, 2);
    store->stop();
}

std::optional<Error> runExport(StatsStore& store, const fs::path& file) {
    std::promise<std::optional<Error>> done;
    store.exportTo(file, [&done](std::optional<Error> error) { done.set_value(error); });
    return done.get_future().get();
}

TEST_F(StatsStoreTest, ExportMergesFilesWithMemory) {
    writeDay(dayWith("2024-03-01", 50));
    writeDay(dayWith("2024-03-05", 5));
    dir.write("Tapwell/stats/2024-02-02.corrupt-0000.json", "skipped");
    dir.write("Tapwell/stats/notes.txt", "not a day");
    auto store = makeStore();
    store->start();
    key(*store);
    const fs::path out = dir / "Tapwell-stats.json";
    ASSERT_FALSE(runExport(*store, out));
    const auto exported = nlohmann::json::parse(dir.read("Tapwell-stats.json"));
    ASSERT_EQ(exported.size(), 3u);
    EXPECT_EQ(exported[0]["date"], "2024-03-01");
    EXPECT_EQ(exported[0]["keystrokes"], 50);
    EXPECT_EQ(exported[1]["date"], "2024-03-04");
    EXPECT_EQ(exported[1]["keystrokes"], 0);
    EXPECT_EQ(exported[2]["date"], "2024-03-05");
    EXPECT_EQ(exported[2]["keystrokes"], 6) << "memory wins over the file";
    EXPECT_EQ(readDay("2024-03-05")->keystrokes, 5) << "an export writes no day file";
    store->stop();
    EXPECT_EQ(readDay("2024-03-05")->keystrokes, 6) << "and leaves the day dirty";
}

TEST_F(StatsStoreTest, ExportWithNothingWritesEmptyArray) {
    auto store = makeStore();
    ASSERT_FALSE(runExport(*store, dir / "out.json"));
    EXPECT_EQ(nlohmann::json::parse(dir.read("out.json")), nlohmann::json::array());
}

TEST_F(StatsStoreTest, ExportFailsOnAnyInvalidDayAndWritesNothing) {
    writeDay(dayWith("2024-03-01", 50));
    DailyStats bad = dayWith("2024-02-01", 11);
    bad.hourly[8] = 10;
    writeDay(bad);
    auto store = makeStore();
    store->start();
    key(*store);
    const auto error = runExport(*store, dir / "out.json");
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, StatsPersistence::fileReadCorruptFile);
    EXPECT_NE(error->description.find("2024-02-01.json"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "out.json"));
}

TEST_F(StatsStoreTest, ExportReportsWriteFailure) {
    auto store = makeStore();
    EXPECT_TRUE(runExport(*store, dir / "missing-folder/out.json").has_value());
}

TEST_F(StatsStoreTest, DeleteAllPublishesZeroAndNextKeyCountsOne) {
    writeDay(dayWith("2024-03-05", 100));
    dir.write("Tapwell/stats/2024-03-02.corrupt-ABC.json", "old damage");
    auto store = makeStore();
    store->start();
    key(*store);
    std::promise<std::optional<Error>> done;
    store->deleteAll([&done](std::optional<Error> error) { done.set_value(error); });
    ASSERT_FALSE(done.get_future().get());
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(last().snapshot.today, DailyStats::empty("2024-03-05"));
    EXPECT_EQ(last().snapshot.kpm, 0);
    EXPECT_FALSE(last().rankRose);
    key(*store);
    store->stop();
    EXPECT_EQ(last().snapshot.today.keystrokes, 1);
    EXPECT_EQ(readDay("2024-03-05")->keystrokes, 1);
}

TEST_F(StatsStoreTest, ZoneChangeFilesKeysUnderTheNewDay) {
    clock.setNow(localTime(zone("UTC"), "2024-03-05", 23, 30));
    auto store = makeStore();
    store->start();
    key(*store);
    store->sync();  // the calendar is read when the queue handles the key
    clock.setTimeZone("Asia/Tokyo");
    key(*store);
    store->sync();
    EXPECT_EQ(last().snapshot.today.date, "2024-03-06");
    EXPECT_EQ(last().snapshot.today.hourly[8], 1);
    EXPECT_EQ(readDay("2024-03-05")->keystrokes, 1) << "the day change flushed the old day";
}

// The process dies between saves: what is on disk is a whole, valid file that lags the counts by
// at most one save interval.
TEST(StatsStoreCrash, KilledProcessLeavesWholeFileAndLosesAtMostOneInterval) {
    test::TempDir dir;
    const fs::path folder = dir / "stats";
    int toParent[2];
    ASSERT_EQ(::pipe(toParent), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(toParent[0]);
        SystemClock& clock = SystemClock::shared();
        StatsStore store(clock, folder, 0.05);
        store.start();
        for (std::int64_t n = 1;; ++n) {
            store.record(KeyActivity{KeyKind::normal, true, clock.uptime()}, clock.now());
            if (n % 1000 == 0) {
                store.sync();
                // Everything up to n is counted; report it once the timer has had time to save.
                const std::int64_t counted = n;
                if (::write(toParent[1], &counted, sizeof counted) != sizeof counted) {
                    ::_exit(1);
                }
            }
        }
    }
    ::close(toParent[1]);
    std::int64_t reported = 0;
    std::int64_t value = 0;
    const auto started = std::chrono::steady_clock::now();
    // Let the child run through several save intervals and many writes.
    while (std::chrono::steady_clock::now() - started < std::chrono::milliseconds(400) &&
           ::read(toParent[0], &value, sizeof value) == sizeof value) {
        reported = value;
    }
    // Counts reported more than one interval (plus scheduling slack) before the kill must be on
    // disk; take the figure now and kill a little later.
    const std::int64_t mustBeSaved = reported;
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(toParent[0]);
    ASSERT_TRUE(WIFSIGNALED(status));

    const std::string day = SystemClock::shared().calendar().dayID(SystemClock::shared().now());
    StatsPersistence persistence(folder);
    auto loaded = persistence.load(day);
    ASSERT_TRUE(loaded.has_value());
    ASSERT_TRUE(loaded->has_value()) << "the day file was whole and valid";
    EXPECT_GE((*loaded)->keystrokes, mustBeSaved);
    EXPECT_GT(mustBeSaved, 0);
    for (const auto& entry : fs::directory_iterator(folder)) {
        EXPECT_FALSE(StatsPersistence::isQuarantineName(entry.path().filename().string()));
    }
}

}  // namespace
}  // namespace tapwell

#include "system/FolderWatcher.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <thread>

#include "WatcherTestSupport.h"
#include "platform/linux/system/InotifyFolderEvents.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

using test::CountingFolderEvents;
using test::ScriptedFolderEvents;
using test::TempDir;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Counts the watcher's callbacks (they arrive on its queue) and remembers when they came, in
// uptime of the fake clock.
struct Recorder {
    explicit Recorder(const Clock& clockIn) : clock(clockIn) {}

    const Clock& clock;
    std::mutex mutex;
    std::condition_variable changed;
    int completions = 0;
    int readies = 0;
    std::vector<Error> errors;
    std::vector<std::string> order;  // "ready", "error", "completion"
    double lastCompletion = 0.0;

    FolderWatcher::Callbacks callbacks() {
        FolderWatcher::Callbacks callbacks;
        callbacks.onCompletion = [this] {
            std::lock_guard lock(mutex);
            ++completions;
            lastCompletion = clock.uptime();
            order.push_back("completion");
            changed.notify_all();
        };
        callbacks.onError = [this](const Error& error) {
            std::lock_guard lock(mutex);
            errors.push_back(error);
            order.push_back("error");
            changed.notify_all();
        };
        callbacks.onReady = [this] {
            std::lock_guard lock(mutex);
            ++readies;
            order.push_back("ready");
            changed.notify_all();
        };
        return callbacks;
    }
    // Waits (ten seconds at most) for the OS's notifications to reach the watcher.
    bool waitFor(const std::function<bool(const Recorder&)>& done) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, [&] { return done(*this); });
    }
    int completionCount() {
        std::lock_guard lock(mutex);
        return completions;
    }
    int readyCount() {
        std::lock_guard lock(mutex);
        return readies;
    }
    std::size_t errorCount() {
        std::lock_guard lock(mutex);
        return errors.size();
    }
    std::vector<std::string> events() {
        std::lock_guard lock(mutex);
        return order;
    }
};

class FolderWatcherTest : public ::testing::Test {
  protected:
    // A watcher whose changes the test reports by hand.
    std::unique_ptr<FolderWatcher> scriptedWatcher(const fs::path& folder,
                                                   bool screenshotsOnly = false) {
        return std::make_unique<FolderWatcher>(folder, screenshotsOnly,
                                               std::make_unique<ScriptedFolderEvents>(events),
                                               recorder.callbacks(), clock);
    }
    // A watcher on the kernel's notifications.
    std::unique_ptr<FolderWatcher> inotifyWatcher(const fs::path& folder) {
        return std::make_unique<FolderWatcher>(
            folder, false,
            std::make_unique<CountingFolderEvents>(std::make_unique<InotifyFolderEvents>(),
                                                   changes),
            recorder.callbacks(), clock);
    }
    // Reports a change and lets the watcher list the folder.
    void change() {
        events->fire();
        clock.settle();
    }

    TempDir dir;
    test::FakeClock clock;
    std::shared_ptr<ScriptedFolderEvents::State> events =
        std::make_shared<ScriptedFolderEvents::State>();
    std::shared_ptr<CountingFolderEvents::Changes> changes =
        std::make_shared<CountingFolderEvents::Changes>();
    Recorder recorder{clock};
};

TEST_F(FolderWatcherTest, FileWrittenInPiecesCompletesOnceASecondOrSoAfterItsLastChange) {
    auto watcher = scriptedWatcher(dir.path());
    clock.settle();
    ASSERT_EQ(recorder.readyCount(), 1);

    // Like a browser: the file stays open and grows in pieces, never still for a whole second.
    double lastChange = 0.0;
    {
        std::ofstream out(dir / "report.pdf", std::ios::binary);
        for (int piece = 0; piece < 6; ++piece) {
            out << std::string(4096, static_cast<char>('a' + piece)) << std::flush;
            change();
            lastChange = clock.uptime();
            clock.advance(0.5);
            EXPECT_EQ(recorder.completionCount(), 0) << "completed early, at piece " << piece;
        }
    }
    EXPECT_TRUE(watcher->isPolling());
    clock.advance(FolderWatcher::pollInterval);
    ASSERT_EQ(recorder.completionCount(), 1);
    EXPECT_GE(recorder.lastCompletion - lastChange, FolderCompletionRules::stabilitySeconds);
    EXPECT_LE(recorder.lastCompletion - lastChange,
              FolderCompletionRules::stabilitySeconds + FolderWatcher::pollInterval);
    EXPECT_FALSE(watcher->isPolling());

    clock.advance(10.0);
    EXPECT_EQ(recorder.completionCount(), 1);
    EXPECT_EQ(recorder.errorCount(), 0u);
}

TEST_F(FolderWatcherTest, FilesPresentAtTheStartAreNeverReported) {
    dir.write("old.zip", "old");
    auto watcher = scriptedWatcher(dir.path());
    clock.settle();
    test::appendTo(dir / "old.zip", "changed");
    change();
    clock.advance(5.0);
    EXPECT_EQ(recorder.completionCount(), 0);
    EXPECT_FALSE(watcher->isPolling());
}

TEST_F(FolderWatcherTest, TwoFilesCompletingInOneListingGiveOneCompletion) {
    auto watcher = scriptedWatcher(dir.path());
    clock.settle();
    dir.write("one.zip", "1");
    dir.write("two.zip", "22");
    change();
    EXPECT_TRUE(watcher->isPolling());
    clock.advance(1.0);
    EXPECT_EQ(recorder.completionCount(), 1);
    EXPECT_FALSE(watcher->isPolling());
    change();
    EXPECT_EQ(recorder.completionCount(), 1);
}

TEST_F(FolderWatcherTest, PartialDownloadIsJudgedByItsFinalNameOnly) {
    auto watcher = scriptedWatcher(dir.path());
    clock.settle();
    test::appendTo(dir / "movie.mkv.part", std::string(10000, 'x'));
    change();
    test::appendTo(dir / "movie.mkv.part", std::string(10000, 'y'));
    change();
    // Stable for well over a second under its temporary name: not a candidate at all.
    clock.advance(1.5);
    EXPECT_EQ(recorder.completionCount(), 0);
    EXPECT_FALSE(watcher->isPolling());

    fs::rename(dir / "movie.mkv.part", dir / "movie.mkv");
    change();
    const double renamed = clock.uptime();
    clock.advance(0.999);
    EXPECT_EQ(recorder.completionCount(), 0);
    clock.advance(0.001);
    EXPECT_EQ(recorder.completionCount(), 1);
    EXPECT_DOUBLE_EQ(recorder.lastCompletion, renamed + 1.0);
    clock.advance(5.0);
    EXPECT_EQ(recorder.completionCount(), 1);
}

TEST_F(FolderWatcherTest, MissingFolderGivesOnePosixErrorAndNoReady) {
    auto watcher = inotifyWatcher(dir / "absent");
    clock.settle();
    ASSERT_EQ(recorder.errorCount(), 1u);
    {
        std::lock_guard lock(recorder.mutex);
        EXPECT_EQ(recorder.errors[0].domain, "posix");
        EXPECT_EQ(recorder.errors[0].code, ENOENT);
        EXPECT_NE(recorder.errors[0].description.find("No such file or directory"),
                  std::string::npos);
    }
    // No retry: the folder appearing later changes nothing.
    fs::create_directory(dir / "absent");
    dir.write("absent/new.zip", "new");
    clock.advance(60.0);
    EXPECT_EQ(recorder.errorCount(), 1u);
    EXPECT_EQ(recorder.readyCount(), 0);
    EXPECT_EQ(recorder.completionCount(), 0);
    EXPECT_FALSE(watcher->isPolling());
}

TEST_F(FolderWatcherTest, FileInsteadOfFolderIsAnOpenError) {
    dir.write("plain", "x");
    auto watcher = inotifyWatcher(dir / "plain");
    clock.settle();
    std::lock_guard lock(recorder.mutex);
    ASSERT_EQ(recorder.errors.size(), 1u);
    EXPECT_EQ(recorder.errors[0].code, ENOTDIR);
    EXPECT_EQ(recorder.readies, 0);
}

TEST_F(FolderWatcherTest, OpenErrorIsPassedOnUnchangedAndNothingElseHappens) {
    events->failWith = Error::posix(EACCES, "watched");
    auto watcher = scriptedWatcher(dir.path());
    clock.settle();
    ASSERT_EQ(recorder.errorCount(), 1u);
    EXPECT_EQ(recorder.errors[0], Error::posix(EACCES, "watched"));
    EXPECT_EQ(recorder.events(), std::vector<std::string>{"error"});

    Recorder withoutSource{clock};
    FolderWatcher inert(dir.path(), false, nullptr, withoutSource.callbacks(), clock);
    clock.settle();
    ASSERT_EQ(withoutSource.errorCount(), 1u);
    EXPECT_EQ(withoutSource.errors[0].code, ENOSYS);
}

// True when this process can list a folder it has no permission for (root, or CAP_DAC_OVERRIDE).
bool permissionsAreBypassed(const TempDir& dir) {
    const auto probe = dir / "probe";
    fs::create_directory(probe);
    fs::permissions(probe, fs::perms::none);
    std::error_code ec;
    fs::directory_iterator it(probe, ec);
    fs::permissions(probe, fs::perms::owner_all);
    fs::remove(probe);
    return !ec;
}

TEST_F(FolderWatcherTest, UnreadableFolderGivesErrorThenReadyWhenReadableAgain) {
    if (permissionsAreBypassed(dir)) {
        GTEST_SKIP() << "running with permission checks bypassed (root)";
    }
    const auto folder = dir / "watched";
    fs::create_directory(folder);
    auto watcher = inotifyWatcher(folder);
    clock.settle();
    ASSERT_EQ(recorder.readyCount(), 1);

    fs::permissions(folder, fs::perms::none);
    ASSERT_TRUE(recorder.waitFor([](const Recorder& r) { return !r.errors.empty(); }));
    {
        std::lock_guard lock(recorder.mutex);
        EXPECT_EQ(recorder.errors[0].code, EACCES);
    }
    fs::permissions(folder, fs::perms::owner_all);
    ASSERT_TRUE(recorder.waitFor([](const Recorder& r) { return r.readies == 2; }));
    const auto order = recorder.events();
    EXPECT_EQ(order.front(), "ready");
    EXPECT_EQ(order.back(), "ready");
    EXPECT_EQ(order[1], "error");
}

TEST_F(FolderWatcherTest, FolderMovedAwayAndBackGivesErrorThenReadyAndGoesOnWatching) {
    const auto folder = dir / "watched";
    fs::create_directory(folder);
    auto watcher = inotifyWatcher(folder);
    clock.settle();
    ASSERT_EQ(recorder.readyCount(), 1);

    fs::rename(folder, dir / "elsewhere");
    ASSERT_TRUE(recorder.waitFor([](const Recorder& r) { return r.errors.size() == 1; }));
    fs::rename(dir / "elsewhere", folder);
    ASSERT_TRUE(recorder.waitFor([](const Recorder& r) { return r.readies == 2; }));
    EXPECT_EQ(recorder.events(), (std::vector<std::string>{"ready", "error", "ready"}));

    // Written elsewhere and moved in, so that it appears whole in one notification.
    const int seen = changes->value();
    fs::rename(dir.write("after.zip", "x"), folder / "after.zip");
    ASSERT_TRUE(changes->waitFor(seen + 1));
    clock.advance(1.0);
    EXPECT_EQ(recorder.completionCount(), 1);
}

TEST_F(FolderWatcherTest, ListingErrorsAreReportedAtEveryFailingScanAndReadyOnlyOnceAfter) {
    const auto folder = dir / "watched";
    fs::create_directory(folder);
    auto watcher = scriptedWatcher(folder);
    clock.settle();

    fs::rename(folder, dir / "away");
    change();
    change();
    fs::rename(dir / "away", folder);
    change();
    change();
    EXPECT_EQ(recorder.events(), (std::vector<std::string>{"ready", "error", "error", "ready"}));
}

TEST_F(FolderWatcherTest, StopWhileAPollIsDueReportsNothingAfterwards) {
    auto watcher = scriptedWatcher(dir.path());
    clock.settle();
    dir.write("new.zip", "x");
    change();
    ASSERT_TRUE(watcher->isPolling());

    std::thread([&] { watcher->stop(); }).join();  // any thread may stop it
    EXPECT_FALSE(watcher->isPolling());
    EXPECT_FALSE(events->isOpen());  // the event source is closed
    EXPECT_EQ(events->closeCount, 1);
    events->fire();
    clock.advance(5.0);
    EXPECT_EQ(recorder.completionCount(), 0);
    EXPECT_EQ(recorder.events(), std::vector<std::string>{"ready"});
}

TEST_F(FolderWatcherTest, StopBeforeInstallNeverOpensTheFolder) {
    {
        auto watcher = scriptedWatcher(dir.path());
        watcher->stop();
        clock.settle();
    }
    // Install may have run before stop took effect; either way nothing was reported after it
    // and the source ended closed.
    EXPECT_FALSE(events->isOpen());
    EXPECT_LE(recorder.readyCount(), 1);
    EXPECT_EQ(recorder.errorCount(), 0u);
}

TEST_F(FolderWatcherTest, DestroyingTheWatcherClosesTheEventSource) {
    {
        auto watcher = scriptedWatcher(dir.path());
        clock.settle();
        EXPECT_EQ(events->opened, dir.path());
        EXPECT_TRUE(events->isOpen());
    }
    EXPECT_FALSE(events->isOpen());
    EXPECT_EQ(events->closeCount, 1);
}

TEST_F(FolderWatcherTest, QuietFolderRunsNoTimer) {
    auto watcher = scriptedWatcher(dir.path());
    clock.settle();
    EXPECT_FALSE(watcher->isPolling());
    const auto idleWakes = watcher->queue().wakeCount();
    clock.advance(3600.0);
    EXPECT_EQ(watcher->queue().wakeCount(), idleWakes);

    // After a file has settled, the poll ends and the queue sleeps again.
    dir.write("done.zip", "x");
    change();
    clock.advance(1.0);
    ASSERT_EQ(recorder.completionCount(), 1);
    ASSERT_FALSE(watcher->isPolling());
    const auto settledWakes = watcher->queue().wakeCount();
    clock.advance(3600.0);
    EXPECT_EQ(watcher->queue().wakeCount(), settledWakes);
}

TEST_F(FolderWatcherTest, ScreenshotFolderReportsOnlyImages) {
    auto watcher = scriptedWatcher(dir.path(), true);
    clock.settle();

    dir.write("notes.txt", "just text");
    change();
    EXPECT_TRUE(watcher->isPolling());
    clock.advance(1.0);
    EXPECT_FALSE(watcher->isPolling());  // consumed silently
    EXPECT_EQ(recorder.completionCount(), 0);

    dir.write("Screenshot from 2026-12-06.png", test::pngBytes);
    change();
    clock.advance(1.0);
    EXPECT_EQ(recorder.completionCount(), 1);
}

TEST(FolderWatcher, ListingGivesVisibleFilesWithTheirFingerprints) {
    TempDir dir;
    dir.write("a.bin", "12345");
    dir.write(".hidden", "x");
    dir.write("sub/inner.txt", "x");
    dir.write("shot.png", test::pngBytes);
    const auto written = fs::last_write_time(dir / "a.bin");
    const double expected =
        std::chrono::duration<double>(std::chrono::file_clock::to_sys(written).time_since_epoch())
            .count();

    auto listing =
        FolderWatcher::list(dir.path(), [](const std::string& name) { return name == "shot.png"; });
    ASSERT_FALSE(listing.error);
    ASSERT_EQ(listing.entries.size(), 2u);
    const auto& a = listing.entries.at("a.bin");
    EXPECT_EQ(a.size, 5);
    EXPECT_NEAR(a.modified.unixSeconds(), expected, 1e-6);
    EXPECT_FALSE(a.screenshot);
    EXPECT_TRUE(listing.entries.at("shot.png").screenshot);

    // The content is looked at only where the caller asks.
    listing = FolderWatcher::list(dir.path(), [](const std::string&) { return false; });
    EXPECT_FALSE(listing.entries.at("shot.png").screenshot);

    listing = FolderWatcher::list(dir / "absent", nullptr);
    ASSERT_TRUE(listing.error);
    EXPECT_EQ(listing.error->code, ENOENT);
    EXPECT_TRUE(listing.entries.empty());
}

TEST(FolderWatcher, ImageContentMarksAScreenshot) {
    TempDir dir;
    EXPECT_TRUE(FolderWatcher::looksLikeImage(dir.write("a", test::pngBytes)));
    EXPECT_TRUE(
        FolderWatcher::looksLikeImage(dir.write("b", std::string("\xFF\xD8\xFF\xE0jfif", 8))));
    EXPECT_TRUE(
        FolderWatcher::looksLikeImage(dir.write("c", std::string("RIFF\x10\0\0\0WEBPVP8 ", 16))));
    EXPECT_FALSE(
        FolderWatcher::looksLikeImage(dir.write("d", std::string("RIFF\x10\0\0\0WAVEfmt ", 16))));
    EXPECT_FALSE(FolderWatcher::looksLikeImage(dir.write("e", "\x89PN")));
    EXPECT_FALSE(FolderWatcher::looksLikeImage(dir.write("f", "")));
    EXPECT_FALSE(FolderWatcher::looksLikeImage(dir / "missing"));
}

}  // namespace
}  // namespace tapwell

#include "system/FolderWatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>

#include "WatcherTestSupport.h"
#include "platform/linux/system/InotifyFolderEvents.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

using test::eventually;
using test::letTimePass;
using test::ScriptedFolderEvents;
using test::TempDir;
namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

// Counts the watcher's callbacks (they arrive on its queue) and remembers when they came.
struct Recorder {
    std::mutex mutex;
    int completions = 0;
    int readies = 0;
    std::vector<Error> errors;
    std::vector<std::string> order;  // "ready", "error", "completion"
    SteadyClock::time_point lastCompletion;

    FolderWatcher::Callbacks callbacks() {
        FolderWatcher::Callbacks callbacks;
        callbacks.onCompletion = [this] {
            std::lock_guard lock(mutex);
            ++completions;
            lastCompletion = SteadyClock::now();
            order.push_back("completion");
        };
        callbacks.onError = [this](const Error& error) {
            std::lock_guard lock(mutex);
            errors.push_back(error);
            order.push_back("error");
        };
        callbacks.onReady = [this] {
            std::lock_guard lock(mutex);
            ++readies;
            order.push_back("ready");
        };
        return callbacks;
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

std::unique_ptr<FolderWatcher> inotifyWatcher(const fs::path& folder, Recorder& recorder,
                                              bool screenshotsOnly = false) {
    return std::make_unique<FolderWatcher>(
        folder, screenshotsOnly, std::make_unique<InotifyFolderEvents>(), recorder.callbacks());
}

double secondsSince(SteadyClock::time_point start, SteadyClock::time_point end) {
    return std::chrono::duration<double>(end - start).count();
}

TEST(FolderWatcher, FileWrittenInPiecesCompletesOnceAboutASecondAfterItsLastChange) {
    TempDir dir;
    Recorder recorder;
    auto watcher = inotifyWatcher(dir.path(), recorder);
    ASSERT_TRUE(eventually([&] { return recorder.readyCount() == 1; }));

    // Like a browser: the file stays open and grows in pieces, never still for a whole second.
    SteadyClock::time_point lastChange;
    {
        std::ofstream out(dir / "report.pdf", std::ios::binary);
        for (int piece = 0; piece < 6; ++piece) {
            out << std::string(4096, static_cast<char>('a' + piece)) << std::flush;
            lastChange = SteadyClock::now();
            EXPECT_EQ(recorder.completionCount(), 0) << "completed early, at piece " << piece;
            letTimePass(0.5);
        }
    }
    EXPECT_TRUE(watcher->isPolling());
    ASSERT_TRUE(eventually([&] { return recorder.completionCount() == 1; }));
    const double delay = secondsSince(lastChange, recorder.lastCompletion);
    EXPECT_GE(delay, 1.0);
    EXPECT_LT(delay, 3.0);  // the poll ticks once a second; leave room for a loaded machine
    EXPECT_FALSE(watcher->isPolling());

    letTimePass(1.3);
    EXPECT_EQ(recorder.completionCount(), 1);
    EXPECT_EQ(recorder.errorCount(), 0u);
}

TEST(FolderWatcher, FilesPresentAtTheStartAreNeverReported) {
    TempDir dir;
    dir.write("old.zip", "old");
    Recorder recorder;
    auto watcher = inotifyWatcher(dir.path(), recorder);
    ASSERT_TRUE(eventually([&] { return recorder.readyCount() == 1; }));
    test::appendTo(dir / "old.zip", "changed");
    letTimePass(1.3);
    EXPECT_EQ(recorder.completionCount(), 0);
    EXPECT_FALSE(watcher->isPolling());
}

TEST(FolderWatcher, TwoFilesCompletingInOneListingGiveOneCompletion) {
    TempDir dir;
    test::FakeClock clock;
    auto events = std::make_shared<ScriptedFolderEvents::State>();
    Recorder recorder;
    FolderWatcher watcher(dir.path(), false, std::make_unique<ScriptedFolderEvents>(events),
                          recorder.callbacks(), clock);
    ASSERT_TRUE(eventually([&] { return recorder.readyCount() == 1; }));

    dir.write("one.zip", "1");
    dir.write("two.zip", "22");
    events->fire();
    ASSERT_TRUE(eventually([&] { return watcher.isPolling(); }));
    clock.advance(1.0);
    ASSERT_TRUE(eventually([&] { return recorder.completionCount() == 1; }));
    EXPECT_TRUE(eventually([&] { return !watcher.isPolling(); }));
    events->fire();
    watcher.queue().sync([] {});
    EXPECT_EQ(recorder.completionCount(), 1);
}

TEST(FolderWatcher, PartialDownloadIsJudgedByItsFinalNameOnly) {
    TempDir dir;
    Recorder recorder;
    auto watcher = inotifyWatcher(dir.path(), recorder);
    ASSERT_TRUE(eventually([&] { return recorder.readyCount() == 1; }));

    test::appendTo(dir / "movie.mkv.part", std::string(10000, 'x'));
    test::appendTo(dir / "movie.mkv.part", std::string(10000, 'y'));
    // Stable for well over a second under its temporary name: not a candidate at all.
    letTimePass(1.5);
    EXPECT_EQ(recorder.completionCount(), 0);
    EXPECT_FALSE(watcher->isPolling());

    const auto renamed = SteadyClock::now();
    fs::rename(dir / "movie.mkv.part", dir / "movie.mkv");
    ASSERT_TRUE(eventually([&] { return recorder.completionCount() == 1; }));
    EXPECT_GE(secondsSince(renamed, recorder.lastCompletion), 1.0);
    letTimePass(1.2);
    EXPECT_EQ(recorder.completionCount(), 1);
}

TEST(FolderWatcher, MissingFolderGivesOnePosixErrorAndNoReady) {
    TempDir dir;
    Recorder recorder;
    auto watcher = inotifyWatcher(dir / "absent", recorder);
    ASSERT_TRUE(eventually([&] { return recorder.errorCount() == 1; }));
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
    letTimePass(1.2);
    EXPECT_EQ(recorder.errorCount(), 1u);
    EXPECT_EQ(recorder.readyCount(), 0);
    EXPECT_EQ(recorder.completionCount(), 0);
    EXPECT_FALSE(watcher->isPolling());
}

TEST(FolderWatcher, FileInsteadOfFolderIsAnOpenError) {
    TempDir dir;
    dir.write("plain", "x");
    Recorder recorder;
    auto watcher = inotifyWatcher(dir / "plain", recorder);
    ASSERT_TRUE(eventually([&] { return recorder.errorCount() == 1; }));
    std::lock_guard lock(recorder.mutex);
    EXPECT_EQ(recorder.errors[0].code, ENOTDIR);
    EXPECT_EQ(recorder.readies, 0);
}

TEST(FolderWatcher, OpenErrorIsPassedOnUnchangedAndNothingElseHappens) {
    TempDir dir;
    auto events = std::make_shared<ScriptedFolderEvents::State>();
    events->failWith = Error::posix(EACCES, "watched");
    Recorder recorder;
    FolderWatcher watcher(dir.path(), false, std::make_unique<ScriptedFolderEvents>(events),
                          recorder.callbacks());
    ASSERT_TRUE(eventually([&] { return recorder.errorCount() == 1; }));
    watcher.queue().sync([] {});
    EXPECT_EQ(recorder.errors[0], Error::posix(EACCES, "watched"));
    EXPECT_EQ(recorder.events(), std::vector<std::string>{"error"});

    Recorder withoutSource;
    FolderWatcher inert(dir.path(), false, nullptr, withoutSource.callbacks());
    ASSERT_TRUE(eventually([&] { return withoutSource.errorCount() == 1; }));
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

TEST(FolderWatcher, UnreadableFolderGivesErrorThenReadyWhenReadableAgain) {
    TempDir dir;
    if (permissionsAreBypassed(dir)) {
        GTEST_SKIP() << "running with permission checks bypassed (root)";
    }
    const auto folder = dir / "watched";
    fs::create_directory(folder);
    Recorder recorder;
    auto watcher = inotifyWatcher(folder, recorder);
    ASSERT_TRUE(eventually([&] { return recorder.readyCount() == 1; }));

    fs::permissions(folder, fs::perms::none);
    ASSERT_TRUE(eventually([&] { return recorder.errorCount() >= 1; }));
    {
        std::lock_guard lock(recorder.mutex);
        EXPECT_EQ(recorder.errors[0].code, EACCES);
    }
    fs::permissions(folder, fs::perms::owner_all);
    ASSERT_TRUE(eventually([&] { return recorder.readyCount() == 2; }));
    const auto events = recorder.events();
    EXPECT_EQ(events.front(), "ready");
    EXPECT_EQ(events.back(), "ready");
    EXPECT_EQ(events[1], "error");
}

TEST(FolderWatcher, FolderMovedAwayAndBackGivesErrorThenReady) {
    TempDir dir;
    const auto folder = dir / "watched";
    fs::create_directory(folder);
    Recorder recorder;
    auto watcher = inotifyWatcher(folder, recorder);
    ASSERT_TRUE(eventually([&] { return recorder.readyCount() == 1; }));

    fs::rename(folder, dir / "elsewhere");
    ASSERT_TRUE(eventually([&] { return recorder.errorCount() == 1; }));
    fs::rename(dir / "elsewhere", folder);
    ASSERT_TRUE(eventually([&] { return recorder.readyCount() == 2; }));
    EXPECT_EQ(recorder.events(), (std::vector<std::string>{"ready", "error", "ready"}));

    // Still watching after the recovery.
    dir.write("watched/after.zip", "x");
    EXPECT_TRUE(eventually([&] { return recorder.completionCount() == 1; }));
}

TEST(FolderWatcher, ListingErrorsAreReportedAtEveryFailingScanAndReadyOnlyOnceAfter) {
    TempDir dir;
    const auto folder = dir / "watched";
    fs::create_directory(folder);
    auto events = std::make_shared<ScriptedFolderEvents::State>();
    Recorder recorder;
    FolderWatcher watcher(folder, false, std::make_unique<ScriptedFolderEvents>(events),
                          recorder.callbacks());
    ASSERT_TRUE(eventually([&] { return recorder.readyCount() == 1; }));

    fs::rename(folder, dir / "away");
    events->fire();
    ASSERT_TRUE(eventually([&] { return recorder.errorCount() == 1; }));
    events->fire();
    ASSERT_TRUE(eventually([&] { return recorder.errorCount() == 2; }));
    fs::rename(dir / "away", folder);
    events->fire();
    ASSERT_TRUE(eventually([&] { return recorder.readyCount() == 2; }));
    events->fire();
    watcher.queue().sync([] {});
    EXPECT_EQ(recorder.events(), (std::vector<std::string>{"ready", "error", "error", "ready"}));
}

TEST(FolderWatcher, StopWhileAPollIsDueReportsNothingAfterwards) {
    TempDir dir;
    auto events = std::make_shared<ScriptedFolderEvents::State>();
    Recorder recorder;
    FolderWatcher watcher(dir.path(), false, std::make_unique<ScriptedFolderEvents>(events),
                          recorder.callbacks());
    ASSERT_TRUE(eventually([&] { return recorder.readyCount() == 1; }));
    dir.write("new.zip", "x");
    events->fire();
    ASSERT_TRUE(eventually([&] { return watcher.isPolling(); }));

    std::thread([&] { watcher.stop(); }).join();  // any thread may stop it
    EXPECT_FALSE(watcher.isPolling());
    EXPECT_FALSE(events->isOpen());  // the event source is closed
    EXPECT_EQ(events->closeCount, 1);
    events->fire();
    letTimePass(1.5);
    EXPECT_EQ(recorder.completionCount(), 0);
    EXPECT_EQ(recorder.events(), std::vector<std::string>{"ready"});
}

TEST(FolderWatcher, StopBeforeInstallNeverOpensTheFolder) {
    TempDir dir;
    auto events = std::make_shared<ScriptedFolderEvents::State>();
    Recorder recorder;
    {
        FolderWatcher watcher(dir.path(), false, std::make_unique<ScriptedFolderEvents>(events),
                              recorder.callbacks());
        watcher.stop();
        watcher.queue().sync([] {});
    }
    // Install may have run before stop took effect; either way nothing was reported after it
    // and the source ended closed.
    EXPECT_FALSE(events->isOpen());
    EXPECT_LE(recorder.readyCount(), 1);
    EXPECT_EQ(recorder.errorCount(), 0u);
}

TEST(FolderWatcher, DestroyingTheWatcherClosesTheEventSource) {
    TempDir dir;
    auto events = std::make_shared<ScriptedFolderEvents::State>();
    Recorder recorder;
    {
        FolderWatcher watcher(dir.path(), false, std::make_unique<ScriptedFolderEvents>(events),
                              recorder.callbacks());
        ASSERT_TRUE(eventually([&] { return recorder.readyCount() == 1; }));
        EXPECT_EQ(events->opened, dir.path());
        EXPECT_TRUE(events->isOpen());
    }
    EXPECT_FALSE(events->isOpen());
    EXPECT_EQ(events->closeCount, 1);
}

TEST(FolderWatcher, QuietFolderRunsNoTimer) {
    TempDir dir;
    Recorder recorder;
    auto watcher = inotifyWatcher(dir.path(), recorder);
    ASSERT_TRUE(eventually([&] { return recorder.readyCount() == 1; }));
    EXPECT_FALSE(watcher->isPolling());

    const auto idleWakes = watcher->queue().wakeCount();
    letTimePass(1.5);
    EXPECT_EQ(watcher->queue().wakeCount(), idleWakes);

    // After a file has settled, the poll ends and the queue sleeps again.
    dir.write("done.zip", "x");
    ASSERT_TRUE(eventually([&] { return recorder.completionCount() == 1; }));
    ASSERT_TRUE(eventually([&] { return !watcher->isPolling(); }));
    const auto settledWakes = watcher->queue().wakeCount();
    letTimePass(1.5);
    EXPECT_EQ(watcher->queue().wakeCount(), settledWakes);
}

TEST(FolderWatcher, ScreenshotFolderReportsOnlyImages) {
    TempDir dir;
    Recorder recorder;
    auto watcher = inotifyWatcher(dir.path(), recorder, true);
    ASSERT_TRUE(eventually([&] { return recorder.readyCount() == 1; }));

    dir.write("notes.txt", "just text");
    ASSERT_TRUE(eventually([&] { return watcher->isPolling(); }));
    ASSERT_TRUE(eventually([&] { return !watcher->isPolling(); }));  // consumed silently
    EXPECT_EQ(recorder.completionCount(), 0);

    dir.write("Screenshot from 2026-12-06.png", test::pngBytes);
    EXPECT_TRUE(eventually([&] { return recorder.completionCount() == 1; }));
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

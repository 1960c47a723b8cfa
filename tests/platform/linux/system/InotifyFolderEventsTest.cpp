#include "platform/linux/system/InotifyFolderEvents.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>

#include "platform/linux/core/FdWatchThread.h"
#include "support/TempDir.h"
#include "system/WatcherTestSupport.h"

namespace tapwell {
namespace {

using test::eventually;
using test::letTimePass;
using test::TempDir;
namespace fs = std::filesystem;

struct Counter {
    std::atomic<int> value{0};
    std::function<void()> callback() {
        return [this] { ++value; };
    }
};

TEST(FdWatchThread, CallsTheHandlerWhileReadableAndStopsCleanly) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    Counter reads;
    FdWatchThread watch;
    ASSERT_FALSE(watch.start(fds[0], "com.tapwell.test", [&] {
        char buffer[64];
        while (::read(fds[0], buffer, sizeof buffer) > 0) {
        }
        ++reads.value;
    }));
    EXPECT_TRUE(watch.isRunning());
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    ASSERT_TRUE(eventually([&] { return reads.value == 1; }));
    ASSERT_EQ(::write(fds[1], "y", 1), 1);
    ASSERT_TRUE(eventually([&] { return reads.value == 2; }));

    watch.stop();
    EXPECT_FALSE(watch.isRunning());
    ASSERT_EQ(::write(fds[1], "z", 1), 1);
    letTimePass(0.1);
    EXPECT_EQ(reads.value, 2);
    watch.stop();  // idempotent
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(FdWatchThread, EndsByItselfWhenTheOtherSideHangsUp) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    Counter reads;
    FdWatchThread watch;
    ASSERT_FALSE(watch.start(fds[0], "com.tapwell.test", reads.callback()));
    ::close(fds[1]);
    // With nothing left to read the thread must not spin on the hang-up; stop still joins it.
    letTimePass(0.1);
    EXPECT_EQ(reads.value, 0);
    watch.stop();
    ::close(fds[0]);
}

TEST(InotifyFolderEvents, ReportsEntryChangesAndNothingAfterClose) {
    TempDir dir;
    Counter changes;
    InotifyFolderEvents events;
    ASSERT_FALSE(events.open(dir.path(), changes.callback()));

    dir.write("created.txt", "x");  // create + close-write
    ASSERT_TRUE(eventually([&] { return changes.value >= 1; }));
    for (const auto& step : std::vector<std::function<void()>>{
             [&] { fs::rename(dir / "created.txt", dir / "renamed.txt"); },
             [&] { fs::permissions(dir / "renamed.txt", fs::perms::owner_read); },
             [&] { fs::remove(dir / "renamed.txt"); },
             [&] { fs::create_directory(dir / "sub"); },
         }) {
        const int before = changes.value;
        step();
        EXPECT_TRUE(eventually([&] { return changes.value > before; }));
    }

    events.close();
    const int closed = changes.value;
    dir.write("after-close.txt", "x");
    letTimePass(0.2);
    EXPECT_EQ(changes.value, closed);
    events.close();  // idempotent
}

TEST(InotifyFolderEvents, ContentWritesAloneDoNotWakeTheWatcher) {
    TempDir dir;
    std::ofstream out(dir / "growing.bin", std::ios::binary);
    out << "start" << std::flush;
    Counter changes;
    InotifyFolderEvents events;
    ASSERT_FALSE(events.open(dir.path(), changes.callback()));
    for (int i = 0; i < 20; ++i) {
        out << std::string(1000, 'x') << std::flush;
    }
    letTimePass(0.2);
    EXPECT_EQ(changes.value, 0);
    out.close();  // finishing the write does
    EXPECT_TRUE(eventually([&] { return changes.value == 1; }));
}

TEST(InotifyFolderEvents, ReportsTheFolderItselfMovingOrGoing) {
    TempDir dir;
    fs::create_directory(dir / "watched");
    Counter changes;
    InotifyFolderEvents events;
    ASSERT_FALSE(events.open(dir / "watched", changes.callback()));
    fs::rename(dir / "watched", dir / "moved");
    ASSERT_TRUE(eventually([&] { return changes.value == 1; }));
    fs::remove(dir / "moved");
    EXPECT_TRUE(eventually([&] { return changes.value == 2; }));
}

TEST(InotifyFolderEvents, OpenFailuresArePosixErrors) {
    TempDir dir;
    InotifyFolderEvents events;
    Counter changes;
    auto missing = events.open(dir / "absent", changes.callback());
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->domain, "posix");
    EXPECT_EQ(missing->code, ENOENT);
    EXPECT_NE(missing->description.find((dir / "absent").string()), std::string::npos);

    auto file = events.open(dir.write("plain", "x"), changes.callback());
    ASSERT_TRUE(file);
    EXPECT_EQ(file->code, ENOTDIR);

    // A failed open leaves the source reusable.
    EXPECT_FALSE(events.open(dir.path(), changes.callback()));
}

}  // namespace
}  // namespace tapwell

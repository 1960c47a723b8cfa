#include "platform/linux/system/InotifyFolderEvents.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/linux/core/FdWatchThread.h"
#include "support/Counter.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

using test::Counter;

// Lets real time pass where a test must show that something does not happen: there is no event
// to wait for, only the kernel's or a thread's silence.
void letTimePass(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

std::function<void()> adding(Counter& counter) {
    return [&counter] { counter.add(); };
}

TEST(FdWatchThread, CallsTheHandlerWhileReadableAndStopsCleanly) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    Counter reads;
    FdWatchThread watch;
    ASSERT_FALSE(watch.start(fds[0], "com.tapwell.test", [&] {
        char buffer[64];
        while (::read(fds[0], buffer, sizeof buffer) > 0) {
        }
        reads.add();
    }));
    EXPECT_TRUE(watch.isRunning());
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    ASSERT_TRUE(reads.waitFor(1));
    ASSERT_EQ(::write(fds[1], "y", 1), 1);
    ASSERT_TRUE(reads.waitFor(2));

    watch.stop();
    EXPECT_FALSE(watch.isRunning());
    ASSERT_EQ(::write(fds[1], "z", 1), 1);
    letTimePass(0.1);
    EXPECT_EQ(reads.value(), 2);
    watch.stop();  // idempotent
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(FdWatchThread, EndsByItselfWhenTheOtherSideHangsUp) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    Counter reads;
    FdWatchThread watch;
    ASSERT_FALSE(watch.start(fds[0], "com.tapwell.test", adding(reads)));
    ::close(fds[1]);
    // With nothing left to read the thread must not spin on the hang-up; stop still joins it.
    letTimePass(0.1);
    EXPECT_EQ(reads.value(), 0);
    watch.stop();
    ::close(fds[0]);
}

TEST(InotifyFolderEvents, ReportsEntryChangesAndNothingAfterClose) {
    TempDir dir;
    Counter changes;
    InotifyFolderEvents events;
    ASSERT_FALSE(events.open(dir.path(), adding(changes)));

    dir.write("created.txt", "x");  // create + close-write
    ASSERT_TRUE(changes.waitFor(1));
    for (const auto& step : std::vector<std::function<void()>>{
             [&] { fs::rename(dir / "created.txt", dir / "renamed.txt"); },
             [&] { fs::permissions(dir / "renamed.txt", fs::perms::owner_read); },
             [&] { fs::remove(dir / "renamed.txt"); },
             [&] { fs::create_directory(dir / "sub"); },
         }) {
        const int before = changes.value();
        step();
        EXPECT_TRUE(changes.waitFor(before + 1));
    }

    events.close();
    const int closed = changes.value();
    dir.write("after-close.txt", "x");
    letTimePass(0.2);
    EXPECT_EQ(changes.value(), closed);
    events.close();  // idempotent
}

TEST(InotifyFolderEvents, ContentWritesAloneDoNotWakeTheWatcher) {
    TempDir dir;
    std::ofstream out(dir / "growing.bin", std::ios::binary);
    out << "start" << std::flush;
    Counter changes;
    InotifyFolderEvents events;
    ASSERT_FALSE(events.open(dir.path(), adding(changes)));
    for (int i = 0; i < 20; ++i) {
        out << std::string(1000, 'x') << std::flush;
    }
    letTimePass(0.2);
    EXPECT_EQ(changes.value(), 0);
    out.close();  // finishing the write does
    EXPECT_TRUE(changes.waitFor(1));
}

TEST(InotifyFolderEvents, ReportsTheFolderItselfMovingOrGoing) {
    TempDir dir;
    fs::create_directory(dir / "watched");
    Counter changes;
    InotifyFolderEvents events;
    ASSERT_FALSE(events.open(dir / "watched", adding(changes)));
    fs::rename(dir / "watched", dir / "moved");
    ASSERT_TRUE(changes.waitFor(1));
    fs::remove(dir / "moved");
    EXPECT_TRUE(changes.waitFor(2));
}

TEST(InotifyFolderEvents, OpenFailuresArePosixErrors) {
    TempDir dir;
    InotifyFolderEvents events;
    Counter changes;
    auto missing = events.open(dir / "absent", adding(changes));
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->domain, "posix");
    EXPECT_EQ(missing->code, ENOENT);
    EXPECT_NE(missing->description.find((dir / "absent").string()), std::string::npos);

    auto file = events.open(dir.write("plain", "x"), adding(changes));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->code, ENOTDIR);

    // A failed open leaves the source reusable.
    EXPECT_FALSE(events.open(dir.path(), adding(changes)));
}

}  // namespace
}  // namespace tapwell

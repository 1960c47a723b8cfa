// Sleep and wake on a fake logind.

#include "BusFixture.h"
#include "platform/linux/desktop/LogindSleepSource.h"
#include "stats/StatsStore.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

const QString login1 = QStringLiteral("org.freedesktop.login1");
const QString controlInterface = QStringLiteral("com.tapwell.FakeLogin1");

class LogindSleepTest : public test::BusFixture {
  protected:
    test::TempDir dir;

    int count(const char* method) {
        return control(login1, controlInterface, QString::fromUtf8(method))
            .arguments()
            .value(0)
            .toInt();
    }
    QStringList releasedWith() {
        return control(login1, controlInterface, QStringLiteral("ReleasedWith"))
            .arguments()
            .value(0)
            .toStringList();
    }
    void emitPrepareForSleep(bool start) {
        control(login1, controlInterface, QStringLiteral("Emit"), {start});
    }
};

TEST_F(LogindSleepTest, DayFilesAreOnDiskBeforeTheDelayLockIsReleased) {
    startServer(FAKE_LOGIN1, {(dir / "stats").string()}, login1);
    test::FakeClock clock{Date{800000000.0}, 5000.0, "Europe/Berlin"};
    StatsStore store(clock, dir / "stats");
    store.start();
    for (int i = 0; i < 3; ++i) {
        store.record({KeyKind::normal, true, 5000.0 + i}, clock.now());
    }
    store.sync();

    LogindSleepSource source(bus());
    int sleeps = 0;
    int wakes = 0;
    source.onWillSleep = [&] {
        ++sleeps;
        store.suspend();
    };
    source.onDidWake = [&] {
        ++wakes;
        store.resume();
        store.tick();
    };
    source.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return source.holdsLock() && count("Held") == 1; }, 5000));

    emitPrepareForSleep(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return count("Held") == 0; }, 5000));
    EXPECT_EQ(sleeps, 1);
    EXPECT_EQ(releasedWith(), QStringList{QStringLiteral("1")});  // today's file was written

    emitPrepareForSleep(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return source.holdsLock() && count("Held") == 1; }, 5000));
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(count("Inhibitors"), 2);

    source.stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return count("Held") == 0; }, 5000));
    store.stop();
}

TEST_F(LogindSleepTest, WithoutLogindNothingIsFollowed) {
    LogindSleepSource source(bus());  // the private bus has no login1
    int calls = 0;
    source.onWillSleep = [&] { ++calls; };
    source.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !source.requestingLock(); }, 5000));
    EXPECT_FALSE(source.holdsLock());
    EXPECT_EQ(calls, 0);
    source.stop();
}

}  // namespace
}  // namespace tapwell

#include "system/SystemEventsMonitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "WatcherTestSupport.h"
#include "core/UserDefaults.h"
#include "platform/linux/system/InotifyFolderEvents.h"
#include "support/FakeClock.h"
#include "support/ManualMainTimer.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

using test::CountingFolderEvents;
using test::TempDir;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

class FakePowerSource final : public PowerSource {
  public:
    struct State {
        std::mutex mutex;
        std::optional<PowerSample> sample;
        std::function<void()> notify;
        bool notificationsAvailable = true;
        int stops = 0;

        void set(std::optional<PowerSample> next) {
            std::lock_guard lock(mutex);
            sample = next;
        }
        // Reports a change from a thread of its own, as the udev monitor does.
        void fire() {
            std::thread([this] {
                std::lock_guard lock(mutex);
                if (notify) {
                    notify();
                }
            }).join();
        }
    };

    explicit FakePowerSource(std::shared_ptr<State> state) : state_(std::move(state)) {}

    std::optional<PowerSample> read() override {
        std::lock_guard lock(state_->mutex);
        return state_->sample;
    }
    bool startNotifications(std::function<void()> onChange) override {
        std::lock_guard lock(state_->mutex);
        if (!state_->notificationsAvailable) {
            return false;
        }
        state_->notify = std::move(onChange);
        return true;
    }
    void stopNotifications() override {
        std::lock_guard lock(state_->mutex);
        state_->notify = nullptr;
        ++state_->stops;
    }

  private:
    std::shared_ptr<State> state_;
};

using ScreenshotStatus = std::pair<std::optional<fs::path>, std::optional<std::string>>;
using DownloadStatus = std::optional<std::string>;
const DownloadStatus noProblem;

class SystemEventsMonitorTest : public ::testing::Test {
  protected:
    std::unique_ptr<SystemEventsMonitor> makeMonitor() {
        SystemEventsMonitor::Platform platform;
        platform.power = std::make_unique<FakePowerSource>(power);
        platform.folderEvents = [this] {
            ++watchesOpened;
            return std::make_unique<CountingFolderEvents>(std::make_unique<InotifyFolderEvents>(),
                                                          changes);
        };
        platform.downloadsFolder = [this] { return downloadsFolder; };
        platform.timer = &timer;
        auto monitor =
            std::make_unique<SystemEventsMonitor>(defaults, mainQueue, std::move(platform), clock);
        monitor->onEvent = [this](SystemSoundEvent event) { events.push_back(event); };
        monitor->onDownloadStatus = [this](const DownloadStatus& message) {
            downloadStatuses.push_back(message);
        };
        monitor->onScreenshotStatus = [this](const std::optional<fs::path>& folder,
                                             const std::optional<std::string>& message) {
            screenshotStatuses.emplace_back(folder, message);
        };
        return monitor;
    }

    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 8s) {
        return mainQueue.runUntil(done, timeout);
    }
    // Writes `name` next to the watched folders and moves it into `folder`, so that it appears
    // whole in one notification; returns once the watcher has been told.
    void arrive(const fs::path& folder, const std::string& name, std::string_view contents) {
        const int seen = changes->value();
        fs::rename(dir.write(name, contents), folder / name);
        ASSERT_TRUE(changes->waitFor(seen + 1));
    }
    void storeScreenshotFolder(const fs::path& folder) {
        const auto text = folder.string();
        defaults.set(SystemEventsMonitor::screenshotBookmarkKey, Bytes(text.begin(), text.end()));
    }
    std::optional<std::string> storedScreenshotFolder() {
        const auto data = defaults.dataValue(SystemEventsMonitor::screenshotBookmarkKey);
        return data ? std::optional<std::string>(std::string(data->begin(), data->end()))
                    : std::nullopt;
    }

    TempDir dir;
    test::FakeClock clock;
    std::shared_ptr<CountingFolderEvents::Changes> changes =
        std::make_shared<CountingFolderEvents::Changes>();
    UserDefaults defaults{dir / "config" / "defaults.json"};
    PumpedMainQueue mainQueue;
    test::ManualMainTimer timer;
    int watchesOpened = 0;
    std::shared_ptr<FakePowerSource::State> power = std::make_shared<FakePowerSource::State>();
    std::optional<fs::path> downloadsFolder;
    std::vector<SystemSoundEvent> events;
    std::vector<DownloadStatus> downloadStatuses;
    std::vector<ScreenshotStatus> screenshotStatuses;
};

TEST_F(SystemEventsMonitorTest, PowerEventsFromStartAndNotificationsArePersisted) {
    power->set(PowerSample{false, 30});
    auto monitor = makeMonitor();
    monitor->start();
    EXPECT_TRUE(events.empty());  // the first reading only sets the baseline
    EXPECT_TRUE(monitor->started());

    power->set(PowerSample{false, 20});
    power->fire();
    ASSERT_TRUE(pumpUntil([&] { return !events.empty(); }));
    EXPECT_EQ(events, std::vector<SystemSoundEvent>{SystemSoundEvent::batteryLow});
    EXPECT_EQ(defaults.boolValue(PowerRules::lowBatteryNotifiedKey), true);

    power->set(PowerSample{true, 21});
    power->fire();
    ASSERT_TRUE(pumpUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(events.back(), SystemSoundEvent::charger);
    EXPECT_EQ(defaults.boolValue(PowerRules::lowBatteryNotifiedKey), false);
}

TEST_F(SystemEventsMonitorTest, LowBatteryFlagSurvivesARelaunch) {
    power->set(PowerSample{false, 25});
    {
        auto monitor = makeMonitor();
        monitor->start();
        power->set(PowerSample{false, 15});
        monitor->powerChanged();
        ASSERT_EQ(events, std::vector<SystemSoundEvent>{SystemSoundEvent::batteryLow});
        monitor->stop();
    }
    // What the rules make of the flag is theirs to test; the monitor reads it back.
    EXPECT_TRUE(makeMonitor()->powerRules().lowNotified);
}

TEST_F(SystemEventsMonitorTest, RaisedThresholdGivesLowBatteryAtOnce) {
    power->set(PowerSample{false, 25});
    auto monitor = makeMonitor();
    EXPECT_EQ(monitor->threshold(), 20);
    monitor->start();
    monitor->setThreshold(30);
    monitor->powerChanged();
    EXPECT_EQ(events, std::vector<SystemSoundEvent>{SystemSoundEvent::batteryLow});
}

TEST_F(SystemEventsMonitorTest, WithoutPowerInformationOrNotificationsTheRestWorks) {
    power->notificationsAvailable = false;
    auto monitor = makeMonitor();
    monitor->start();
    monitor->powerChanged();
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(monitor->started());
    EXPECT_EQ(downloadStatuses, std::vector<DownloadStatus>{noProblem});  // no Downloads folder
    monitor->stop();
    EXPECT_EQ(power->stops, 0);
}

TEST_F(SystemEventsMonitorTest, NotificationsStopWithTheMonitor) {
    power->set(PowerSample{false, 50});
    auto monitor = makeMonitor();
    monitor->start();
    power->set(PowerSample{true, 50});
    power->fire();  // posted but not yet run when the monitor stops
    monitor->stop();
    EXPECT_EQ(power->stops, 1);
    EXPECT_FALSE(monitor->started());
    mainQueue.runPending();
    EXPECT_TRUE(events.empty());
}

TEST_F(SystemEventsMonitorTest,
       AFinishedDownloadGivesOneEventAndSwitchingOffAndOnTakesANewBaseline) {
    downloadsFolder = dir / "Downloads";
    fs::create_directory(*downloadsFolder);
    auto monitor = makeMonitor();
    monitor->start();
    EXPECT_TRUE(downloadStatuses.empty());  // sent by the watcher's first listing
    ASSERT_TRUE(pumpUntil([&] { return downloadStatuses.size() == 1; }));
    EXPECT_EQ(downloadStatuses[0], noProblem);

    monitor->setDownloadEnabled(false);
    monitor->refreshDownloads();
    EXPECT_EQ(monitor->downloadsWatcher(), nullptr);
    EXPECT_EQ(downloadStatuses.size(), 2u);
    EXPECT_EQ(downloadStatuses.back(), noProblem);

    dir.write("Downloads/while-off.zip", "x");
    monitor->setDownloadEnabled(true);
    monitor->refreshDownloads();
    ASSERT_NE(monitor->downloadsWatcher(), nullptr);
    ASSERT_TRUE(pumpUntil([&] { return downloadStatuses.size() == 3; }));
    clock.advance(1.5);
    mainQueue.runPending();
    EXPECT_TRUE(events.empty());  // part of the new baseline

    arrive(*downloadsFolder, "after.zip", "y");
    clock.advance(1.0);
    ASSERT_TRUE(pumpUntil([&] { return !events.empty(); }));
    EXPECT_EQ(events, std::vector<SystemSoundEvent>{SystemSoundEvent::downloadDone});
}

TEST_F(SystemEventsMonitorTest, MissingDownloadsFolderIsReportedAndClearsAfterARefresh) {
    downloadsFolder = dir / "Downloads";
    auto monitor = makeMonitor();
    monitor->start();
    ASSERT_TRUE(pumpUntil([&] { return downloadStatuses.size() == 1; }));
    ASSERT_TRUE(downloadStatuses[0]);
    EXPECT_NE(downloadStatuses[0]->find("No such file or directory"), std::string::npos);
    EXPECT_TRUE(monitor->downloadFailed());

    fs::create_directory(*downloadsFolder);
    monitor->refreshDownloads();  // as on activation while the download alert is on and failed
    ASSERT_TRUE(pumpUntil([&] { return downloadStatuses.size() == 2; }));
    EXPECT_EQ(downloadStatuses[1], noProblem);
    EXPECT_FALSE(monitor->downloadFailed());
}

TEST_F(SystemEventsMonitorTest, MissingDownloadsFolderIsTriedAgainOnABackoffUntilItExists) {
    downloadsFolder = dir / "Downloads";
    auto monitor = makeMonitor();
    monitor->start();
    ASSERT_TRUE(pumpUntil([&] { return downloadStatuses.size() == 1; }));
    EXPECT_EQ(monitor->missingDownloadsFolder(), downloadsFolder);
    EXPECT_EQ(watchesOpened, 1);

    // Each wait is twice the one before: attempts at 2, 6 and 14 seconds.
    for (const double wait : {2.0, 4.0, 8.0}) {
        const int before = watchesOpened;
        timer.advance(wait - 0.01);
        EXPECT_EQ(watchesOpened, before) << wait;
        timer.advance(0.01);
        EXPECT_EQ(watchesOpened, before + 1) << wait;
        ASSERT_TRUE(pumpUntil([&] { return downloadStatuses.size() == std::size_t(before + 1); }));
        EXPECT_TRUE(downloadStatuses.back().has_value());
    }

    fs::create_directory(*downloadsFolder);
    timer.advance(16.0);
    ASSERT_TRUE(pumpUntil([&] { return !downloadStatuses.back().has_value(); }));
    EXPECT_FALSE(monitor->downloadFailed());
    EXPECT_FALSE(monitor->missingDownloadsFolder());
    arrive(*downloadsFolder, "paper.pdf", "%PDF");
    clock.advance(1.0);
    EXPECT_TRUE(
        pumpUntil([&] { return std::ranges::count(events, SystemSoundEvent::downloadDone) == 1; }));

    // Gone again: the backoff starts over from its first wait.
    const int before = watchesOpened;
    fs::remove_all(*downloadsFolder);
    ASSERT_TRUE(pumpUntil([&] { return monitor->downloadFailed(); }));
    timer.advance(2.0);
    EXPECT_EQ(watchesOpened, before + 1);
}

TEST_F(SystemEventsMonitorTest, NoRetryAfterStop) {
    downloadsFolder = dir / "Downloads";
    auto monitor = makeMonitor();
    monitor->start();
    ASSERT_TRUE(pumpUntil([&] { return downloadStatuses.size() == 1; }));
    monitor->stop();
    timer.advance(120.0);
    EXPECT_EQ(watchesOpened, 1);
}

TEST_F(SystemEventsMonitorTest, StartWithoutStoredScreenshotFolder) {
    auto monitor = makeMonitor();
    monitor->start();
    EXPECT_EQ(screenshotStatuses, std::vector<ScreenshotStatus>{ScreenshotStatus{}});
    EXPECT_EQ(monitor->screenshotsWatcher(), nullptr);
}

TEST_F(SystemEventsMonitorTest, ScreenshotFolderIsRestoredFromTheStoredPath) {
    const auto folder = dir / "Shots";
    fs::create_directory(folder);
    storeScreenshotFolder(folder);
    auto monitor = makeMonitor();
    monitor->start();
    ASSERT_EQ(screenshotStatuses.size(), 1u);
    EXPECT_EQ(screenshotStatuses[0], (ScreenshotStatus{folder, std::nullopt}));
    EXPECT_EQ(monitor->screenshotFolder(), folder);
    ASSERT_NE(monitor->screenshotsWatcher(), nullptr);
    EXPECT_TRUE(monitor->screenshotsWatcher()->screenshotsOnly());

    // Which files count as screenshots is the watcher's to test; here the event's kind.
    clock.settle();  // the baseline, before files arrive
    arrive(folder, "Screenshot.png", test::pngBytes);
    clock.advance(1.0);
    ASSERT_TRUE(pumpUntil([&] { return !events.empty(); }));
    EXPECT_EQ(events, std::vector<SystemSoundEvent>{SystemSoundEvent::screenshot});
}

TEST_F(SystemEventsMonitorTest, MissingOrDamagedStoredScreenshotFolderIsReportedAsText) {
    const struct {
        std::string stored;
        std::string said;  // a part of the message, if any
    } cases[] = {{(dir / "gone").string(), "No such file or directory"}, {"rel", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        screenshotStatuses.clear();
        storeScreenshotFolder(c.stored);
        auto monitor = makeMonitor();
        monitor->start();
        ASSERT_EQ(screenshotStatuses.size(), 1u);
        EXPECT_FALSE(screenshotStatuses[0].first);
        ASSERT_TRUE(screenshotStatuses[0].second);
        EXPECT_NE(screenshotStatuses[0].second->find(c.said), std::string::npos);
        EXPECT_EQ(monitor->screenshotsWatcher(), nullptr);
        if (!c.said.empty()) {
            EXPECT_EQ(storedScreenshotFolder(), c.stored);  // kept for a later launch
        }
    }
}

TEST_F(SystemEventsMonitorTest, ChosenScreenshotFolderReplacesAndIsRemembered) {
    const auto first = dir / "First";
    const auto second = dir / "Second";
    fs::create_directory(first);
    fs::create_directory(second);
    auto monitor = makeMonitor();
    monitor->start();

    monitor->chooseScreenshotFolder(first);
    EXPECT_EQ(storedScreenshotFolder(), first.string());
    auto* firstWatcher = monitor->screenshotsWatcher();
    ASSERT_NE(firstWatcher, nullptr);

    monitor->chooseScreenshotFolder(second);
    EXPECT_EQ(storedScreenshotFolder(), second.string());
    EXPECT_EQ(monitor->screenshotFolder(), second);
    EXPECT_EQ(screenshotStatuses.back(), (ScreenshotStatus{second, std::nullopt}));

    // A failed choice keeps the previous folder watched and remembered.
    auto* secondWatcher = monitor->screenshotsWatcher();
    monitor->chooseScreenshotFolder(dir / "absent");
    EXPECT_EQ(monitor->screenshotsWatcher(), secondWatcher);
    EXPECT_EQ(monitor->screenshotFolder(), second);
    EXPECT_EQ(storedScreenshotFolder(), second.string());
    EXPECT_FALSE(screenshotStatuses.back().first);
    EXPECT_TRUE(screenshotStatuses.back().second);

    // A plain file is no folder.
    dir.write("file.txt", "x");
    monitor->chooseScreenshotFolder(dir / "file.txt");
    EXPECT_EQ(storedScreenshotFolder(), second.string());
    EXPECT_NE(screenshotStatuses.back().second.value_or("").find("Not a directory"),
              std::string::npos);
}

TEST_F(SystemEventsMonitorTest, ScreenshotFolderErrorClearsWhenItListsAgain) {
    const auto folder = dir / "Shots";
    fs::create_directory(folder);
    auto monitor = makeMonitor();
    monitor->start();
    monitor->chooseScreenshotFolder(folder);
    clock.settle();
    const auto before = screenshotStatuses.size();

    fs::rename(folder, dir / "away");
    ASSERT_TRUE(pumpUntil([&] { return screenshotStatuses.size() == before + 1; }));
    EXPECT_FALSE(screenshotStatuses.back().first);
    EXPECT_TRUE(screenshotStatuses.back().second);

    fs::rename(dir / "away", folder);
    ASSERT_TRUE(pumpUntil([&] { return screenshotStatuses.size() == before + 2; }));
    EXPECT_EQ(screenshotStatuses.back(), (ScreenshotStatus{folder, std::nullopt}));
}

TEST_F(SystemEventsMonitorTest, StopDropsWatchersAndIgnoresLateResults) {
    downloadsFolder = dir / "Downloads";
    fs::create_directory(*downloadsFolder);
    const auto shots = dir / "Shots";
    fs::create_directory(shots);
    storeScreenshotFolder(shots);
    auto monitor = makeMonitor();
    monitor->start();
    ASSERT_NE(monitor->downloadsWatcher(), nullptr);
    ASSERT_NE(monitor->screenshotsWatcher(), nullptr);

    monitor->stop();  // the first listing's ready may already be posted
    EXPECT_EQ(monitor->downloadsWatcher(), nullptr);
    EXPECT_EQ(monitor->screenshotsWatcher(), nullptr);
    EXPECT_EQ(monitor->screenshotFolder(), std::nullopt);
    mainQueue.runPending();
    EXPECT_TRUE(downloadStatuses.empty());

    dir.write("Downloads/late.zip", "x");
    clock.advance(1.5);
    mainQueue.runPending();
    EXPECT_TRUE(events.empty());
}

TEST_F(SystemEventsMonitorTest, ResultsPostedForADestroyedMonitorAreDropped) {
    downloadsFolder = dir / "Downloads";
    auto monitor = makeMonitor();
    monitor->start();
    // Let the open error be posted, then destroy the monitor before pumping.
    clock.settle();
    ASSERT_GT(mainQueue.pendingCount(), 0u);
    monitor.reset();
    mainQueue.runPending();
    EXPECT_TRUE(downloadStatuses.empty());
}

}  // namespace
}  // namespace tapwell

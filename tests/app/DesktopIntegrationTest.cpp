// The application state in the desktop session: notifications, the application in front, sleep
// and wake, the login item and requests from other tapwell processes, on fakes of each.

#include <gtest/gtest.h>

#include <map>

#include "app/AppState.h"
#include "core/Calendar.h"
#include "keyboard/FakeKeyTap.h"
#include "keyboard/KeyCodes.h"
#include "sound/OfflineAudioOutput.h"
#include "stats/StatsPersistence.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

using namespace std::chrono_literals;

struct FakeNotifier final : Notifier {
    Capabilities capabilities{true, true};
    std::vector<Notification> posted;
    void queryCapabilities(std::function<void(Capabilities)> done) override { done(capabilities); }
    void post(const Notification& notification,
              std::function<void(std::optional<NotificationID>)> done) override {
        posted.push_back(notification);
        done(static_cast<NotificationID>(posted.size()));
    }
};

struct FakeFocus final : FocusSource {
    void start() override {}
    void stop() override {}
};

struct FakeSleep final : SleepSource {
    void start() override {}
    void stop() override {}
};

struct FakeLoginItem final : LoginItem {
    Status current;
    std::optional<Error> failure;
    Status status() const override { return current; }
    std::optional<Error> setEnabled(bool enabled) override {
        if (failure) {
            return failure;
        }
        current.enabled = enabled;
        return std::nullopt;
    }
};

struct FakeApplications final : ApplicationDirectory {
    std::vector<InstalledApp> list(std::string_view language) override {
        return {{"org.example.Meeting", language == "ja" ? "会議" : "Meeting", "meeting"}};
    }
};

class RecordingShell final : public AppShell {
  public:
    std::vector<Window> shown;
    bool hasWindows() const override { return true; }
    void showWindow(Window window) override { shown.push_back(window); }
    std::optional<std::filesystem::path> askSavePath(const SaveRequest&) override { return {}; }
    std::vector<std::string> askApplications() override { return {}; }
    std::optional<std::string> renderRecapPng(const RecapContent&) override { return {}; }
    bool copyPng(const std::string&) override { return false; }
    void openFolder(const std::filesystem::path&) override {}
    void quit() override {}
};

class DesktopIntegration : public ::testing::Test {
  protected:
    test::TempDir dir;
    UserDefaults defaults{dir / "defaults.json"};
    PumpedMainQueue mainQueue;
    test::FakeClock clock{Date{800000000.0}, 5000.0, "Europe/Berlin"};
    std::shared_ptr<test::FakeKeyTap::State> keys = std::make_shared<test::FakeKeyTap::State>();
    RecordingShell shell;
    FakeNotifier* notifier = nullptr;
    FakeFocus* focus = nullptr;
    FakeSleep* sleep = nullptr;
    FakeLoginItem* login = nullptr;
    std::shared_ptr<AppState> state;

    void SetUp() override {
        keys->available = true;
        defaults.set(defaultsKey::onboardingCompleted, true);
    }
    void TearDown() override {
        if (state) {
            state->shutdown();
        }
        Localization::store().setCode("en");
    }

    void launch() {
        AppEnvironment environment;
        environment.defaults = &defaults;
        environment.mainQueue = &mainQueue;
        environment.clock = &clock;
        environment.shell = &shell;
        environment.statsDirectory = dir / "stats";
        environment.keyTap = std::make_unique<test::FakeKeyTap>(keys);
        environment.resourceFolder = TAPWELL_TEST_RESOURCE_DIR;
        environment.makeSoundEngine = [this](const std::vector<LoadedTheme>& themes,
                                             const std::optional<std::string>& preferred)
            -> std::expected<std::unique_ptr<SoundEngine>, std::string> {
            SoundEngine::Dependencies dependencies;
            dependencies.output = std::make_shared<OfflineAudioOutput>();
            dependencies.clock = &clock;
            auto engine = SoundEngine::create(themes, preferred, std::move(dependencies));
            if (!engine) {
                return std::unexpected(describe(engine.error()));
            }
            return std::move(*engine);
        };
        auto fakeNotifier = std::make_unique<FakeNotifier>();
        notifier = fakeNotifier.get();
        environment.notifier = std::move(fakeNotifier);
        auto fakeFocus = std::make_unique<FakeFocus>();
        focus = fakeFocus.get();
        environment.focus = std::move(fakeFocus);
        auto fakeSleep = std::make_unique<FakeSleep>();
        sleep = fakeSleep.get();
        environment.sleep = std::move(fakeSleep);
        auto fakeLogin = std::make_unique<FakeLoginItem>();
        login = fakeLogin.get();
        environment.loginItem = std::move(fakeLogin);
        environment.applications = std::make_shared<FakeApplications>();
        // The periodic work stays out of the way: ticks are the test's to cause.
        environment.timerInterval = 3600.0;
        state = AppState::create(std::move(environment));
        mainQueue.runFor(10ms);
    }

    void type(int count) {
        for (int i = 0; i < count; ++i) {
            const auto t = static_cast<std::int64_t>(clock.uptime() * 1e9) + i * 1'000'000;
            keys->push(KeyTapEvent{keycode::a, KeyTapAction::press, t});
            keys->push(KeyTapEvent{keycode::a, KeyTapAction::release, t + 500'000});
        }
    }
    bool pumpUntil(const std::function<bool()>& done) { return mainQueue.runUntil(done, 5000ms); }
    std::string today() const { return clock.calendar().dayID(clock.now()); }
    void writeToday(std::int64_t keystrokes) {
        DailyStats stats = DailyStats::empty(today());
        stats.keystrokes = keystrokes;
        stats.hourly[0] = keystrokes;
        dir.write("stats/" + today() + ".json", StatsPersistence::encode(stats));
    }
    std::optional<DailyStats> savedToday() {
        return StatsPersistence(dir / "stats").load(today()).value_or(std::nullopt);
    }
};

TEST_F(DesktopIntegration, RankUpIsCelebratedWithTheNextRankOrTheTop) {
    struct Case {
        std::int64_t before;
        std::size_t titleRank;
        std::optional<std::size_t> nextRank;  // none: the top rank's text
    };
    for (const Case c : {Case{7999, 2, 3}, Case{79999, 5, std::nullopt}}) {
        SCOPED_TRACE(c.before);
        TearDown();
        writeToday(c.before);
        launch();
        type(1);
        ASSERT_TRUE(pumpUntil([&] { return !notifier->posted.empty(); }));
        const auto names = *state->localization().pick(state->currentTheme()->ranks);
        const Notification& posted = notifier->posted.front();
        const std::string count = state->localization().groupedInteger(c.before + 1);
        EXPECT_EQ(posted.title, "New rank: " + names[c.titleRank]);
        EXPECT_EQ(posted.body,
                  c.nextRank ? count + " keystrokes today. Next up: " + names[*c.nextRank] + "."
                             : count + " keystrokes today. You’ve reached the top rank!");
        EXPECT_TRUE(posted.actions.empty());
    }
}

TEST_F(DesktopIntegration, BreakButtonsAnswerTheWellbeingServiceInTheCurrentLanguage) {
    launch();
    state->setLanguage("ja");
    WellbeingStatus status = state->wellbeingStatus();
    status.elapsedMinutes = 61;
    state->handleWellbeing({WellbeingEvent::takeBreak}, status);
    ASSERT_EQ(notifier->posted.size(), 1u);
    using Actions = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(notifier->posted[0].actions,
              (Actions{{"takeFive", "5分休憩"}, {"snooze", "あとで"}}));

    notifier->onAction(1, "default");  // a click on the body does nothing
    notifier->onAction(1, "takeFive");
    ASSERT_TRUE(pumpUntil([&] { return state->wellbeingStatus().nextMinutes == 5; }));
    notifier->onAction(1, "snooze");
    EXPECT_TRUE(pumpUntil([&] { return state->wellbeingStatus().nextMinutes == 15; }));
}

TEST_F(DesktopIntegration, ApplicationInFrontMutesTypingButCountingGoesOn) {
    AppPreferences preferences;
    preferences.mutedApps = {"org.example.Meeting"};
    preferences.pauseInMeetings = false;
    defaults.set(defaultsKey::preferences, [&] {
        const std::string json = preferences.toJSON();
        return Bytes(json.begin(), json.end());
    }());
    launch();
    ASSERT_GT(state->soundEngine()->busVolumes().typing, 0.0f);
    focus->onChange("org.example.Meeting");
    ASSERT_TRUE(pumpUntil([&] { return state->soundEngine()->busVolumes().typing == 0.0f; }));
    type(3);
    EXPECT_TRUE(pumpUntil([&] { return state->snapshot().today.keystrokes == 3; }));
    EXPECT_EQ(state->wellbeingStatus().nextMinutes, 60);  // not paused: pauseInMeetings is off

    focus->onChange("org.example.Editor");
    EXPECT_TRUE(pumpUntil([&] { return state->soundEngine()->busVolumes().typing > 0.0f; }));
    focus->onChange(std::nullopt);
    EXPECT_TRUE(pumpUntil([&] { return state->soundEngine()->busVolumes().typing > 0.0f; }));
}

TEST_F(DesktopIntegration, SleepSavesAndSilencesWakeResumes) {
    launch();
    type(4);
    ASSERT_TRUE(pumpUntil([&] { return state->snapshot().today.keystrokes == 4; }));
    sleep->onWillSleep();
    // The day is on disk when the reaction returns, before the machine may sleep.
    ASSERT_TRUE(savedToday());
    EXPECT_EQ(savedToday()->keystrokes, 4);
    EXPECT_EQ(state->soundEngine()->busVolumes().typing, 0.0f);
    type(2);  // keys while asleep are not counted

    // The night passes: the tick after waking publishes the new day without a key.
    clock.advance(86400.0);
    sleep->onDidWake();
    ASSERT_TRUE(pumpUntil([&] { return state->snapshot().today.date == today(); }));
    EXPECT_EQ(state->snapshot().today.keystrokes, 0);
    EXPECT_GT(state->soundEngine()->busVolumes().typing, 0.0f);
}

TEST_F(DesktopIntegration, LoginItemStatusAndFailures) {
    launch();
    EXPECT_FALSE(state->loginEnabled());
    state->setLoginEnabled(true);
    EXPECT_TRUE(state->loginEnabled());
    EXPECT_FALSE(state->serviceError());

    login->failure = Error{"posix", 13, "autostart: Permission denied"};
    state->setLoginEnabled(false);
    EXPECT_EQ(state->serviceError(), "autostart: Permission denied");
    EXPECT_TRUE(state->loginEnabled());  // still what the entry says

    // Edited outside (another program, the user): seen when Tapwell becomes active.
    login->current = {false, false};
    state->didBecomeActive();
    EXPECT_FALSE(state->loginEnabled());
}

TEST_F(DesktopIntegration, InstalledApplicationsFollowTheLanguage) {
    launch();
    EXPECT_EQ(state->appName("org.example.Meeting"), "Meeting");
    state->setLanguage("ja");
    EXPECT_EQ(state->appName("org.example.Meeting"), "会議");
    EXPECT_EQ(state->appName("org.example.Unknown"), "org.example.Unknown");
}

TEST_F(DesktopIntegration, OtherProcessesOpenWindowsAndDeleteStatistics) {
    launch();
    std::vector<InstanceReply> replies;
    const auto respond = [&replies](InstanceReply reply) { replies.push_back(reply); };
    state->handleInstanceRequest({InstanceRequest::Kind::reopen, {}}, respond);
    state->handleInstanceRequest({InstanceRequest::Kind::openOnboarding, {}}, respond);
    using Window = AppShell::Window;
    EXPECT_EQ(shell.shown, (std::vector<Window>{Window::settings, Window::onboarding}));

    type(5);
    ASSERT_TRUE(pumpUntil([&] { return state->snapshot().today.keystrokes == 5; }));
    std::atomic<bool> answered = false;
    state->handleInstanceRequest({InstanceRequest::Kind::deleteStats, {}},
                                 [&](InstanceReply reply) {
                                     EXPECT_FALSE(reply.error);
                                     answered = true;
                                 });
    ASSERT_TRUE(pumpUntil([&] { return answered.load(); }));
    EXPECT_TRUE(pumpUntil([&] { return state->snapshot().today.keystrokes == 0; }));
    // The last save of the run writes no keystrokes back.
    state->shutdown();
    EXPECT_EQ(savedToday().value_or(DailyStats::empty(today())).keystrokes, 0);
    EXPECT_EQ(replies.size(), 2u);
}

}  // namespace
}  // namespace tapwell

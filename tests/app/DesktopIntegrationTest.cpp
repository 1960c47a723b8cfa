// The application state in the desktop session: notifications, the application in front, sleep
// and wake, the login item and requests from other tapwell processes, on fakes of each.

#include "DesktopFixture.h"

namespace tapwell {
namespace {

using namespace std::chrono_literals;
using test::DesktopIntegration;

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
    storePreferences(preferences);
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

    // The night passes in one step, as for a machine asleep: the tick after waking publishes the
    // new day without a key.
    clock.jump(86400.0);
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

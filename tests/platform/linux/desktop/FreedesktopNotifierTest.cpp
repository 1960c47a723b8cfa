// The notification service on a fake freedesktop notification server.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "BusFixture.h"
#include "platform/linux/desktop/FreedesktopNotifier.h"
#include "presentation/Localization.h"
#include "presentation/NotificationService.h"
#include "support/FakeClock.h"

namespace tapwell {
namespace {

constexpr const char* serverName = "org.freedesktop.Notifications";
constexpr const char* controlInterface = "com.tapwell.FakeNotifications";

struct Posted {
    std::uint32_t id = 0, replaces = 0;
    std::string app, icon, title, body, desktopEntry;
    std::vector<std::string> actions;
    int timeout = 0;
};

class NotificationsTest : public test::BusFixture {
  protected:
    // 2024-03-05 23:40 in Berlin.
    test::FakeClock clock{Date{1709678400.0}, 1000.0, "Europe/Berlin"};
    std::unique_ptr<FreedesktopNotifier> notifier;
    std::unique_ptr<NotificationService> service;
    std::vector<BreakAction> actions;
    std::vector<NotificationStatus> statuses;

    void SetUp() override {
        BusFixture::SetUp();
        Localization::store().setCode("en");
    }
    void TearDown() override {
        service.reset();
        notifier.reset();
        Localization::store().setCode("en");
        BusFixture::TearDown();
    }

    void startService(const std::vector<std::string>& serverArgs, bool withServer = true) {
        if (withServer) {
            startServer(FAKE_NOTIFICATION_SERVER, serverArgs, serverName);
        }
        notifier =
            std::make_unique<FreedesktopNotifier>(mainQueue, "com.tapwell.Tapwell", busAddress());
        service =
            std::make_unique<NotificationService>(*notifier, clock, TAPWELL_TEST_RESOURCE_DIR);
        service->onBreakAction = [this](BreakAction action) { actions.push_back(action); };
        service->onAuthorization = [this](NotificationStatus status) {
            statuses.push_back(status);
        };
    }

    std::vector<Posted> posted() {
        std::vector<Posted> out;
        for (const std::string& line : strings(control(serverName, controlInterface, "Posted"))) {
            const QJsonObject object =
                QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            Posted p;
            p.id = static_cast<std::uint32_t>(object["id"].toInteger());
            p.app = object["app"].toString().toStdString();
            p.icon = object["icon"].toString().toStdString();
            p.title = object["title"].toString().toStdString();
            p.body = object["body"].toString().toStdString();
            p.replaces = static_cast<std::uint32_t>(object["replaces"].toInteger());
            p.desktopEntry = object["desktopEntry"].toString().toStdString();
            p.timeout = object["timeout"].toInt();
            for (const auto& action : object["actions"].toArray()) {
                p.actions.push_back(action.toString().toStdString());
            }
            out.push_back(p);
        }
        return out;
    }

    std::vector<Posted> waitForPosted(std::size_t count) {
        std::vector<Posted> out;
        EXPECT_TRUE(mainQueue.runUntil([&] {
            out = posted();
            return out.size() >= count;
        }));
        return out;
    }

    void expectNothingReachesAGoneNotifier(bool serverAnswers);

    void invoke(std::uint32_t id, const char* key) {
        control(serverName, controlInterface, "Invoke", "us", id, key);
    }
};

TEST_F(NotificationsTest, WellbeingNotificationsInEachLanguage) {
    struct Case {
        const char* language;
        std::string breakTitle, breakBody, takeFive, snooze, lateTitle, limitBody;
    };
    const Case cases[] = {
        {"en", "Time for a short break",
         "You’ve been typing for 42 minutes. Stretch, breathe and rest your eyes for a moment.",
         "Take 5", "Snooze", "It’s 11:40\u202FPM, getting late",
         "12,345 keystrokes today. Your hands have earned a rest."},
        {"zh-Hans", "该休息一下了", "你已经连续打字 42 分钟了。起来伸展一下，让眼睛也歇一歇吧。",
         "休息 5 分钟", "稍后提醒", "已经 23:40 了，夜深了",
         "今天已敲击键盘 12,345 次，双手该好好歇歇了。"},
        {"ja", "ひと休みしませんか",
         "42分間タイピングが続いています。肩をほぐして、目も少し休めましょう。", "5分休憩",
         "あとで", "もう23:40です。夜も更けてきました",
         "今日のキー入力は12,345回。手を休めてあげましょう。"},
    };
    startService({});
    std::size_t expected = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        Localization::store().setCode(c.language);
        service->registerCategories();
        service->health(WellbeingEvent::takeBreak, 42, 12345);
        service->health(WellbeingEvent::edgeDim, 42, 12345);  // no notification of its own
        service->health(WellbeingEvent::lateNight, 42, 12345);
        service->health(WellbeingEvent::wrapUp, 42, 12345);  // nor this one
        service->health(WellbeingEvent::dailyLimit, 42, 12345);
        expected += 3;
        const auto all = waitForPosted(expected);
        ASSERT_EQ(all.size(), expected);
        const Posted& nudge = all[expected - 3];
        EXPECT_EQ(nudge.app, "Tapwell");
        EXPECT_EQ(nudge.icon, "com.tapwell.Tapwell");
        EXPECT_EQ(nudge.desktopEntry, "com.tapwell.Tapwell");
        EXPECT_EQ(nudge.replaces, 0u);
        EXPECT_EQ(nudge.timeout, -1);
        EXPECT_EQ(nudge.title, c.breakTitle);
        EXPECT_EQ(nudge.body, c.breakBody);
        EXPECT_EQ(nudge.actions,
                  (std::vector<std::string>{"takeFive", c.takeFive, "snooze", c.snooze}));
        EXPECT_EQ(all[expected - 2].title, c.lateTitle);
        EXPECT_TRUE(all[expected - 2].actions.empty());
        EXPECT_EQ(all[expected - 1].body, c.limitBody);
    }
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back(), (NotificationStatus{NotificationAuthorization::authorized, true}));
}

TEST_F(NotificationsTest, OnlyTheBreakButtonsOfOurOwnNotificationsAct) {
    startService({});
    service->health(WellbeingEvent::takeBreak, 60, 0);
    service->health(WellbeingEvent::dailyLimit, 60, 20000);
    const auto all = waitForPosted(2);
    ASSERT_EQ(all.size(), 2u);
    const std::uint32_t nudge = all[0].id;
    invoke(nudge, "default");       // a click on the body
    invoke(all[1].id, "takeFive");  // not a break notification
    invoke(nudge + 100, "snooze");  // another program's notification
    invoke(nudge, "takeFive");
    invoke(nudge, "snooze");
    ASSERT_TRUE(mainQueue.runUntil([&] { return actions.size() >= 2; }));
    mainQueue.queue.runPending();
    EXPECT_EQ(actions, (std::vector<BreakAction>{BreakAction::takeFive, BreakAction::snooze}));
}

TEST_F(NotificationsTest, WithoutAServerNothingIsPostedAndTheStatusIsDenied) {
    startService({}, /*withServer=*/false);
    service->health(WellbeingEvent::takeBreak, 60, 0);
    ASSERT_TRUE(mainQueue.runUntil([&] { return !statuses.empty(); }));
    EXPECT_EQ(statuses.back().authorization, NotificationAuthorization::denied);

    // A server that appears later is found by the next refresh; the earlier nudge is not replayed.
    startServer(FAKE_NOTIFICATION_SERVER, {}, serverName);
    service->refreshAuthorization();
    ASSERT_TRUE(mainQueue.runUntil(
        [&] { return statuses.back().authorization == NotificationAuthorization::authorized; }));
    EXPECT_TRUE(posted().empty());
}

TEST_F(NotificationsTest, AServerWithoutButtonsGetsTheBreakWithDirections) {
    startService({"--no-actions"});
    service->health(WellbeingEvent::takeBreak, 60, 0);
    const auto all = waitForPosted(1);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_TRUE(all[0].actions.empty());
    const Localization english("en", TAPWELL_TEST_RESOURCE_DIR);
    EXPECT_TRUE(all[0].body.ends_with("\n" + english.text("notification.break.noActions")));
    EXPECT_NE(english.text("notification.break.noActions"), "notification.break.noActions");
    EXPECT_EQ(statuses.back(), (NotificationStatus{NotificationAuthorization::authorized, false}));
}

TEST_F(NotificationsTest, AMarkupServerGetsAnEscapedBodyAndMalformedTextIsRepaired) {
    startServer(FAKE_NOTIFICATION_SERVER, {"--markup"}, serverName);
    FreedesktopNotifier markup(mainQueue, "", busAddress());
    std::optional<Notifier::Capabilities> capabilities;
    markup.queryCapabilities([&](Notifier::Capabilities c) { capabilities = c; });
    ASSERT_TRUE(mainQueue.runUntil([&] { return capabilities.has_value(); }));
    EXPECT_TRUE(capabilities->reachable);
    EXPECT_TRUE(capabilities->actions);

    std::optional<std::optional<Notifier::NotificationID>> id;
    markup.post({"Bad \xFF\xC0\xE0\x80 title\xE2\x82",
                 "<b>5 & 6</b> \"x\" 'y' \xED\xA0\x80",
                 {{"k\xF5", "Go"}}},
                [&](std::optional<Notifier::NotificationID> value) { id = value; });
    const auto all = waitForPosted(1);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].title, "Bad \uFFFD\uFFFD\uFFFD\uFFFD title\uFFFD\uFFFD");
    EXPECT_EQ(all[0].body,
              "&lt;b&gt;5 &amp; 6&lt;/b&gt; &quot;x&quot; &#39;y&#39; \uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(all[0].actions, (std::vector<std::string>{"k\uFFFD", "Go"}));
    EXPECT_EQ(all[0].icon, "");
    EXPECT_EQ(all[0].desktopEntry, "");  // no hint without an icon name
    ASSERT_TRUE(mainQueue.runUntil([&] { return id.has_value(); }));
    EXPECT_EQ(*id, all[0].id);
}

// Answers and button presses that reach the main queue after the notifier is gone are dropped,
// and a notifier with calls still waiting for a silent server ends without waiting for them.
void NotificationsTest::expectNothingReachesAGoneNotifier(bool serverAnswers) {
    startServer(FAKE_NOTIFICATION_SERVER,
                serverAnswers ? std::vector<std::string>{} : std::vector<std::string>{"--silent"},
                serverName);
    auto gone = std::make_unique<FreedesktopNotifier>(mainQueue, "", busAddress());
    int called = 0;
    gone->onAction = [&](Notifier::NotificationID, const std::string&) { ++called; };
    const std::size_t before = mainQueue.posted();
    gone->queryCapabilities([&](Notifier::Capabilities) { ++called; });
    gone->post({"t", "b", {}}, [&](std::optional<Notifier::NotificationID>) { ++called; });
    if (serverAnswers) {
        ASSERT_TRUE(mainQueue.waitForPosted(before + 2));
        ASSERT_EQ(posted().size(), 1u);
        invoke(posted()[0].id, "default");
        ASSERT_TRUE(mainQueue.waitForPosted(before + 3));
    } else {
        ASSERT_TRUE(mainQueue.runUntil([&] { return posted().size() == 1; }));
    }
    gone.reset();
    mainQueue.queue.runPending();
    EXPECT_EQ(called, 0);
}

TEST_F(NotificationsTest, AnswersAfterTheNotifierIsGoneAreDropped) {
    expectNothingReachesAGoneNotifier(true);
}

TEST_F(NotificationsTest, ANotifierWithCallsOutstandingEndsAtOnce) {
    expectNothingReachesAGoneNotifier(false);
}

TEST_F(NotificationsTest, WithoutABusNoServerIsReachedPromptly) {
    FreedesktopNotifier lonely(mainQueue, "com.tapwell.Tapwell", "unix:path=/nonexistent/bus");
    std::optional<Notifier::Capabilities> capabilities;
    std::optional<std::optional<Notifier::NotificationID>> id;
    lonely.queryCapabilities([&](Notifier::Capabilities c) { capabilities = c; });
    lonely.post({"t", "b", {}}, [&](std::optional<Notifier::NotificationID> value) { id = value; });
    ASSERT_TRUE(mainQueue.runUntil([&] { return capabilities && id; }));
    EXPECT_FALSE(capabilities->reachable);
    EXPECT_FALSE(capabilities->actions);
    EXPECT_EQ(*id, std::nullopt);
}

}  // namespace
}  // namespace tapwell

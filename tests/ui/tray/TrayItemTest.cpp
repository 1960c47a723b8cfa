// The tray item as a desktop sees it: on a private session bus, a fake tray (the
// StatusNotifierWatcher and a host) takes the item, reads its properties and label, clicks it and
// picks entries of its menu; the recording state shows which commands arrived.

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusObjectPath>

#include "app/AppModel.h"
#include "platform/linux/desktop/StatusNotifierItem.h"
#include "support/FakeStatusNotifierWatcher.h"
#include "support/PrivateBusApplication.h"
#include "support/RecordingState.h"
#include "ui/tray/MenuBarIcon.h"
#include "ui/tray/TrayController.h"

namespace tapwell::ui {
namespace {

const auto* const environment =
    ::testing::AddGlobalTestEnvironment(new test::PrivateBusApplication);

using Host = TrayController::Host;

class TrayItem : public ::testing::Test {
  protected:
    void SetUp() override {
        state.menuBarValue.count = 12'345;
        state.snapshotValue.today.keystrokes = 12'345;
        state.nowValue = Date{1'000'000.0};
        model = std::make_unique<AppModel>(state);
        watcher = std::make_unique<test::FakeStatusNotifierWatcher>(
            test::PrivateBusApplication::address());
    }

    // Starts the tray item and waits until the fake tray shows it.
    void startShown() {
        ASSERT_TRUE(watcher->start());
        start();
        ASSERT_TRUE(test::waitUntil([&] { return tray->host() == Host::statusNotifier; }));
    }
    void start() {
        tray = std::make_unique<TrayController>(*model, QDBusConnection::sessionBus());
        tray->start();
        service = tray->statusNotifierItem().serviceName();
    }

    QVariant property(const char* name) {
        return watcher->itemProperty(service, QString::fromLatin1(name));
    }
    QString text(const char* name) { return property(name).toString(); }
    SniToolTip toolTip() { return qdbus_cast<SniToolTip>(property("ToolTip")); }
    QList<SniPixmap> icon() { return qdbus_cast<QList<SniPixmap>>(property("IconPixmap")); }
    bool click(const char* method, int x, int y) {
        return watcher->callItem(service, QString::fromLatin1(method), {x, y});
    }
    void publish(PublishedSet what) {
        state.publish(what);
        // A property read comes back after every signal the item sent before it.
        property("Id");
    }

    test::RecordingState state{TAPWELL_TEST_RESOURCE_DIR};
    std::unique_ptr<AppModel> model;
    std::unique_ptr<test::FakeStatusNotifierWatcher> watcher;
    std::unique_ptr<TrayController> tray;
    QString service;
};

TEST_F(TrayItem, RegistersAndExposesWhatHostsRead) {
    startShown();
    EXPECT_EQ(watcher->registrations(), QStringList{service});
    EXPECT_TRUE(service.startsWith(
        QStringLiteral("org.kde.StatusNotifierItem-%1-").arg(QCoreApplication::applicationPid())));
    EXPECT_EQ(text("Id"), "com.tapwell.Tapwell");
    EXPECT_EQ(text("Category"), "ApplicationStatus");
    EXPECT_EQ(text("Status"), "Active");
    EXPECT_EQ(text("Title"), "Tapwell");
    EXPECT_EQ(text("IconName"), "");
    EXPECT_EQ(property("ItemIsMenu").toBool(), false);
    EXPECT_EQ(qdbus_cast<QDBusObjectPath>(property("Menu")).path(), "/NO_DBUSMENU");
    EXPECT_EQ(text("XAyatanaLabel"), "12,345");
    EXPECT_EQ(text("XAyatanaLabelGuide"), "00,000");
    const SniToolTip tip = toolTip();
    EXPECT_EQ(tip.title, "Tapwell");
    EXPECT_EQ(tip.text, "12,345 keystrokes today");

    const QList<SniPixmap> pixmaps = icon();
    ASSERT_EQ(pixmaps.size(), static_cast<qsizetype>(MenuBarIcon::offeredSizes().size()));
    for (qsizetype i = 0; i < pixmaps.size(); ++i) {
        const int size = MenuBarIcon::offeredSizes()[static_cast<std::size_t>(i)];
        EXPECT_EQ(pixmaps[i].width, size);
        EXPECT_EQ(pixmaps[i].height, size);
        EXPECT_EQ(pixmaps[i].argb.size(), size * size * 4);
    }
    // Network byte order: alpha first. The 44-pixel icon's left edge (x 2) is solid ink; the
    // middle of the key top is clear.
    const auto& big = pixmaps[4];
    ASSERT_EQ(big.width, 44);
    const auto byte = [&](int x, int y, int i) {
        return static_cast<unsigned char>(big.argb[(y * 44 + x) * 4 + i]);
    };
    EXPECT_EQ(byte(2, 22, 0), 0xff);
    EXPECT_EQ(byte(2, 22, 1), byte(2, 22, 2));  // grey ink: red equals green
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(byte(22, 22, i), 0) << i;
    }
}

TEST_F(TrayItem, LabelFollowsTheCountAndGoesWithShowCount) {
    startShown();
    state.menuBarValue.count = 12'346;
    publish(Published::menuBar);
    EXPECT_EQ(watcher->labelSignals, QStringList{"12,346"});
    EXPECT_EQ(text("XAyatanaLabel"), "12,346");

    // The same count again changes nothing hosts can see.
    publish(Published::menuBar | Published::snapshot);
    EXPECT_EQ(watcher->labelSignals.size(), 1);

    // showCount off: no count, an empty label.
    state.menuBarValue.count.reset();
    publish(Published::menuBar);
    EXPECT_EQ(watcher->labelSignals, (QStringList{"12,346", ""}));
    EXPECT_EQ(text("XAyatanaLabel"), "");
    EXPECT_EQ(text("XAyatanaLabelGuide"), "");
    // Hosts without labels still show today's count in the tool tip.
    EXPECT_EQ(toolTip().text, "12,345 keystrokes today");

    state.menuBarValue.count = 12'400;
    state.snapshotValue.today.keystrokes = 12'400;
    publish(Published::menuBar | Published::snapshot);
    EXPECT_EQ(text("XAyatanaLabel"), "12,400");
    EXPECT_EQ(toolTip().text, "12,400 keystrokes today");
}

TEST_F(TrayItem, SpeaksTheInterfaceLanguage) {
    startShown();
    state.useLanguage("ja");
    state.menuBarValue.language = "ja";
    publish(Published::localization | Published::menuBar);
    EXPECT_EQ(toolTip().text.toStdString(), "今日のキー入力は12,345回");
    EXPECT_EQ(text("XAyatanaLabel"), "12,345");
    const auto* mute = tray->menu().findChild<QAction*>(QStringLiteral("mute"));
    ASSERT_NE(mute, nullptr);
    EXPECT_EQ(mute->text().toStdString(), "1時間ミュート");
}

TEST_F(TrayItem, MuteShowsOnTheIconInTheToolTipAndInTheMenu) {
    startShown();
    const QList<SniPixmap> normal = icon();
    state.soundValue.mutedUntil = state.nowValue + 41 * 60.0 + 10;
    state.wellbeingValue.pausedUntil = state.nowValue + 3600.0;
    publish(Published::sound | Published::wellbeingStatus);
    EXPECT_EQ(watcher->iconSignals, 1);
    EXPECT_NE(icon(), normal);
    EXPECT_EQ(toolTip().text, "12,345 keystrokes today\nMuted, 42 min left");
    tray->menu().refresh();
    const auto action = [&](const char* name) {
        return tray->menu().findChild<QAction*>(QString::fromLatin1(name))->text();
    };
    EXPECT_EQ(action("mute"), "Unmute (42 min left)");
    EXPECT_EQ(action("pauseNudges"), "Resume Break Nudges");

    // The mute ran out: the icon is back.
    state.nowValue = *state.soundValue.mutedUntil;
    publish(Published::now);
    EXPECT_EQ(icon(), normal);
    EXPECT_EQ(action("mute"), "Mute for an Hour");

    state.soundValue.soundsEnabled = false;
    publish(Published::sound);
    EXPECT_NE(icon(), normal);
    EXPECT_EQ(toolTip().text, "12,345 keystrokes today\nSounds are off");
}

TEST_F(TrayItem, ClicksReachTheirCommands) {
    startShown();
    std::vector<std::optional<QPoint>> activations;
    tray->onActivate = [&](std::optional<QPoint> at) { activations.push_back(at); };
    ASSERT_TRUE(click("Activate", 1200, 12));
    ASSERT_TRUE(click("Activate", 0, 0));
    EXPECT_EQ(activations, (std::vector<std::optional<QPoint>>{QPoint(1200, 12), std::nullopt}));

    ASSERT_TRUE(click("SecondaryActivate", 1200, 12));
    EXPECT_EQ(state.calls, std::vector<std::string>{"toggleMute"});
    ASSERT_TRUE(
        watcher->callItem(service, QStringLiteral("Scroll"), {3, QStringLiteral("vertical")}));
    EXPECT_EQ(state.calls.size(), 1u);
}

TEST_F(TrayItem, ContextMenuEntriesCallTheirCommands) {
    startShown();
    ASSERT_TRUE(click("ContextMenu", 300, 20));
    TrayMenu& menu = tray->menu();
    ASSERT_TRUE(test::waitUntil([&] { return menu.isVisible(); }));
    // A second request closes it, as a second click would.
    ASSERT_TRUE(click("ContextMenu", 300, 20));
    EXPECT_FALSE(menu.isVisible());

    for (const char* name : {"mute", "pauseNudges", "settings", "recap", "quit"}) {
        auto* action = menu.findChild<QAction*>(QString::fromLatin1(name));
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
    }
    EXPECT_EQ(state.calls, (std::vector<std::string>{"toggleMute", "toggleWellbeingPause",
                                                     "openSettings", "openRecap", "quit"}));

    // Without a popover to open, a left click opens the menu.
    ASSERT_TRUE(click("Activate", 300, 20));
    EXPECT_TRUE(test::waitUntil([&] { return menu.isVisible(); }));
}

TEST_F(TrayItem, RegistersAgainWhenTheTrayComesBack) {
    // No tray at start: the program says once how to reach its settings.
    testing::internal::CaptureStderr();
    start();
    EXPECT_EQ(tray->host(), Host::none);

    ASSERT_TRUE(watcher->start());
    ASSERT_TRUE(test::waitUntil([&] { return tray->host() == Host::statusNotifier; }));
    EXPECT_EQ(watcher->registrations(), QStringList{service});

    // The panel exits and comes back; it has forgotten the item, which registers again.
    watcher->stop();
    ASSERT_TRUE(test::waitUntil([&] { return tray->host() == Host::none; }));
    ASSERT_TRUE(watcher->start());
    ASSERT_TRUE(test::waitUntil([&] { return tray->host() == Host::statusNotifier; }));
    EXPECT_EQ(watcher->registrations(), (QStringList{service, service}));
    EXPECT_EQ(watcher->registeredItems(), QStringList{service});
    EXPECT_EQ(text("XAyatanaLabel"), "12,345");

    const std::string said = testing::internal::GetCapturedStderr();
    const std::string hint = "tapwell --settings";
    const auto first = said.find(hint);
    EXPECT_NE(first, std::string::npos) << said;
    EXPECT_EQ(said.find(hint, first + 1), std::string::npos) << said;
}

TEST_F(TrayItem, WaitsForAHostToDrawIt) {
    watcher = std::make_unique<test::FakeStatusNotifierWatcher>(
        test::PrivateBusApplication::address(), /*withHost=*/false);
    ASSERT_TRUE(watcher->start());
    start();
    ASSERT_TRUE(test::waitUntil([&] { return !watcher->registrations().isEmpty(); }));
    ASSERT_TRUE(test::waitUntil([&] { return tray->host() == Host::none; }));
    watcher->RegisterStatusNotifierHost(QStringLiteral("org.kde.StatusNotifierHost-1"));
    EXPECT_TRUE(test::waitUntil([&] { return tray->host() == Host::statusNotifier; }));
}

}  // namespace
}  // namespace tapwell::ui

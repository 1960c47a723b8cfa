// The tray item on an X11 desktop whose panel has only an XEmbed system tray (trayer on the
// virtual X server) and no StatusNotifierWatcher: the item goes there, with the count in its tool
// tip, and moves to the StatusNotifierItem host as soon as a watcher appears.

#include <gtest/gtest.h>

#include <QApplication>
#include <QSystemTrayIcon>

#include <cstdlib>
#include <filesystem>

#include "app/AppModel.h"
#include "support/FakeStatusNotifierWatcher.h"
#include "support/PrivateBus.h"
#include "support/ChildProcess.h"
#include "support/RecordingState.h"
#include "support/TempDir.h"
#include "ui/tray/TrayController.h"

namespace tapwell::ui {
namespace {

using Host = TrayController::Host;

TEST(TrayFallback, UsesTheX11TrayUntilAWatcherAppears) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        GTEST_SKIP() << "needs an X server (scripts/run-tests starts Xvfb)";
    }
    if (!std::filesystem::exists("/usr/bin/trayer")) {
        GTEST_SKIP() << "needs trayer (scripts/install-deps)";
    }
    test::TempDir dir;
    test::PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().empty()) << bus.log();
    test::ScopedEnv platform("QT_QPA_PLATFORM", "xcb");
    int argc = 1;
    char name[] = "tray-fallback";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    test::ChildProcess trayer({"/usr/bin/trayer", "--edge", "top", "--align", "right"}, {},
                         dir / "trayer.log");
    ASSERT_TRUE(test::waitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }))
        << dir.read("trayer.log");

    test::RecordingState state(TAPWELL_TEST_RESOURCE_DIR);
    state.menuBarValue.count = 2'048;
    state.snapshotValue.today.keystrokes = 2'048;
    AppModel model(state);
    TrayController tray(model, QDBusConnection::sessionBus());
    tray.start();
    ASSERT_EQ(tray.host(), Host::systemTray);
    QSystemTrayIcon* icon = tray.systemTrayIcon();
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(icon->isVisible());
    EXPECT_FALSE(icon->icon().isNull());
    EXPECT_EQ(icon->toolTip(), "Tapwell\n2,048 keystrokes today");
    // Docked into the tray: it has a place on the screen for the popover to open beside.
    EXPECT_TRUE(test::waitUntil([&] { return icon->geometry().isValid(); }));

    test::FakeStatusNotifierWatcher watcher(QString::fromStdString(bus.address()));
    ASSERT_TRUE(watcher.start());
    ASSERT_TRUE(test::waitUntil([&] { return tray.host() == Host::statusNotifier; }));
    EXPECT_FALSE(icon->isVisible());
    EXPECT_EQ(watcher.registrations().size(), 1);
}

}  // namespace
}  // namespace tapwell::ui

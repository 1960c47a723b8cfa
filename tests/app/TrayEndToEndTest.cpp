// The application on a desktop: on a virtual X server with a private session bus whose fake tray
// (a StatusNotifierWatcher) takes the program's item. Its label must follow the keys typed.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/linux/desktop/StatusNotifierItemTypes.h"
#include "support/FakeStatusNotifierWatcher.h"
#include "support/PrivateBus.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(TrayEndToEnd, ItemRegistersAndItsLabelCountsTheKeysTyped) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        GTEST_SKIP() << "needs an X server (scripts/run-tests starts Xvfb)";
    }
    if (std::system("command -v xdotool >/dev/null") != 0) {
        GTEST_SKIP() << "needs xdotool";
    }
    test::TempDir dir;
    test::PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().empty()) << bus.log();
    int argc = 1;
    char name[] = "tray-end-to-end";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    registerStatusNotifierTypes();
    test::FakeStatusNotifierWatcher watcher(QString::fromStdString(bus.address()));
    ASSERT_TRUE(watcher.start());

    const std::string home = dir.path().string();
    const std::vector<std::string> env{
        "HOME=" + home,
        "XDG_CONFIG_HOME=" + home + "/config",
        "XDG_DATA_HOME=" + home + "/data",
        "XDG_RUNTIME_DIR=" + home,
        "DBUS_SESSION_BUS_ADDRESS=" + bus.address(),
        "DBUS_SYSTEM_BUS_ADDRESS=" + bus.address(),
        "QT_QPA_PLATFORM=xcb",
        std::string("TAPWELL_RESOURCE_DIR=") + TAPWELL_TEST_RESOURCE_DIR,
        "TAPWELL_LOG=warn"};
    // The count is shown beside the icon only when the user asked for it.
    const auto preferences = dir.write("preferences.json", R"({"showCount": true})");
    ASSERT_EQ(std::system(("XDG_CONFIG_HOME=" + home + "/config " + TAPWELL_EXECUTABLE +
                           " defaults write m3.preferences data @" + preferences.string())
                              .c_str()),
              0);

    test::ChildProcess tapwell({TAPWELL_EXECUTABLE, "--audio-output", "null"}, env, dir / "tapwell.log");
    ASSERT_TRUE(tapwell.running());
    const auto log = [&] { return readText(dir / "tapwell.log"); };
    ASSERT_TRUE(test::waitUntil([&] { return !watcher.registrations().isEmpty(); },
                                std::chrono::seconds(20)))
        << log();
    const QString item = watcher.registrations().first();
    EXPECT_EQ(watcher.itemProperty(item, QStringLiteral("Id")).toString(),
              QStringLiteral("com.tapwell.Tapwell"));
    ASSERT_TRUE(test::waitUntil([&] {
        return watcher.itemProperty(item, QStringLiteral("XAyatanaLabel")).toString() == "0";
    })) << log();
    ASSERT_TRUE(test::waitUntil([&] {
        return log().find("listening to the keyboard") != std::string::npos;
    })) << log();

    ASSERT_EQ(std::system("xdotool type --delay 60 tapwell"), 0);
    EXPECT_TRUE(test::waitUntil([&] {
        return watcher.itemProperty(item, QStringLiteral("XAyatanaLabel")).toString() == "7";
    })) << watcher.itemProperty(item, QStringLiteral("XAyatanaLabel")).toString().toStdString()
        << "\n"
        << log();
    EXPECT_TRUE(watcher.labelSignals.contains(QStringLiteral("7")));
    const auto toolTip =
        qdbus_cast<SniToolTip>(watcher.itemProperty(item, QStringLiteral("ToolTip")));
    EXPECT_TRUE(toolTip.text.contains(QStringLiteral("7"))) << toolTip.text.toStdString();

    EXPECT_EQ(tapwell.terminate(), 0) << log();
}

}  // namespace
}  // namespace tapwell

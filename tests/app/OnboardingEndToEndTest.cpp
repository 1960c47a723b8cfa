// The onboarding window of the running program, on a virtual X server: keys typed into its
// try-out pad sound at once but are not counted; once the focus is elsewhere, or the pad is left
// with the keyboard (Shift+Tab to Next, Space), typing counts again. The day's count is read live
// from the tray item's label (a fake tray on a private bus), the sound from the WAV output, the
// moments the pad takes and releases typing from the program's debug log, and the stored day with
// `tapwell stats --json` at the end.

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <QWindow>

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "WavOnsets.h"
#include "platform/linux/desktop/StatusNotifierItemTypes.h"
#include "support/ChildProcess.h"
#include "support/FakeStatusNotifierWatcher.h"
#include "support/PrivateBus.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

using namespace std::chrono_literals;

int run(const std::string& command) {
    return std::system(command.c_str());
}

// The standard output of a shell command, without its last newline.
std::string output(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            text += buffer;
        }
        ::pclose(pipe);
    }
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

class OnboardingEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') {
            GTEST_SKIP() << "needs an X server (scripts/run-tests starts Xvfb)";
        }
        if (run("command -v xdotool >/dev/null") != 0) {
            GTEST_SKIP() << "needs xdotool";
        }
        bus_ = std::make_unique<test::PrivateSessionBus>();
        ASSERT_FALSE(bus_->address().empty()) << bus_->log();
        qputenv("QT_QPA_PLATFORM", "xcb");
        app_ = std::make_unique<QApplication>(argc_, argv_);
        registerStatusNotifierTypes();
        watcher_ = std::make_unique<test::FakeStatusNotifierWatcher>(
            QString::fromStdString(bus_->address()));
        ASSERT_TRUE(watcher_->start());

        // The count beside the tray icon is the live view of the day's statistics.
        const auto preferences = dir_.write("preferences.json", R"({"showCount": true})");
        ASSERT_EQ(run(environment() + TAPWELL_EXECUTABLE + " defaults write m3.preferences data @" +
                      preferences.string()),
                  0);
        const std::string home = dir_.path().string();
        tapwell_ = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{TAPWELL_EXECUTABLE, "--onboarding", "--audio-output",
                                     "wav:" + wav().string()},
            std::vector<std::string>{
                "HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config",
                "XDG_DATA_HOME=" + home + "/data", "XDG_RUNTIME_DIR=" + home,
                "DBUS_SESSION_BUS_ADDRESS=" + bus_->address(),
                "DBUS_SYSTEM_BUS_ADDRESS=" + bus_->address(), "QT_QPA_PLATFORM=xcb",
                std::string("TAPWELL_RESOURCE_DIR=") + TAPWELL_TEST_RESOURCE_DIR,
                "TAPWELL_LOG=debug"},
            dir_ / "tapwell.log");
        ASSERT_TRUE(tapwell_->running());
        ASSERT_TRUE(test::waitUntil([&] { return !watcher_->registrations().isEmpty(); },
                                    std::chrono::seconds(20)))
            << log();
        item_ = watcher_->registrations().first();
        ASSERT_TRUE(test::waitUntil([&] { return label() == "0"; })) << log();
        ASSERT_TRUE(test::waitUntil([&] {
            return log().find("listening to the keyboard") != std::string::npos;
        })) << log();
        ASSERT_TRUE(test::waitUntil([&] {
            onboarding_ = output("xdotool search --onlyvisible --name '^Tapwell$' 2>/dev/null");
            return !onboarding_.empty() && onboarding_.find('\n') == std::string::npos;
        })) << "the onboarding window did not appear\n"
            << log();
    }

    void TearDown() override {
        tapwell_.reset();
        watcher_.reset();
        app_.reset();
        bus_.reset();
    }

    // The variables that point the command line at the test's folders.
    std::string environment() const {
        const std::string home = dir_.path().string();
        return "HOME=" + home + " XDG_CONFIG_HOME=" + home + "/config XDG_DATA_HOME=" + home +
               "/data ";
    }

    std::filesystem::path wav() const { return dir_ / "out.wav"; }
    std::string log() const { return dir_.read("tapwell.log"); }
    std::string label() {
        return watcher_->itemProperty(item_, QStringLiteral("XAyatanaLabel"))
            .toString()
            .toStdString();
    }
    std::size_t soundCount() const { return test::onsets(wav()).size(); }

    // Whether the try-out pad takes typing now, as the program last logged it.
    bool padTakesTyping() const {
        const std::string text = log();
        const auto takes = text.rfind(padTakes);
        const auto releases = text.rfind(padReleases);
        return takes != std::string::npos && (releases == std::string::npos || takes > releases);
    }

    // Gives `window` (an X window id) the keyboard focus. The X server moves it at once; the
    // program learns of it a moment later on its own connection: until it says whether the pad
    // takes typing now, a key could still go the old way.
    void focus(const std::string& window, bool takes) {
        ASSERT_EQ(run("xdotool windowfocus --sync " + window), 0);
        ASSERT_TRUE(test::waitUntil([&] { return padTakesTyping() == takes; })) << log();
    }

    // Presses and releases each letter 0.3 s apart, so that every sound stands apart.
    void typeSlowly(const std::string& letters) {
        std::string command = "xdotool";
        for (const char letter : letters) {
            command +=
                std::string(" keydown ") + letter + " sleep 0.3 keyup " + letter + " sleep 0.3";
        }
        ASSERT_EQ(run(command), 0);
    }

    // The day's keystrokes as stored, once the program has ended.
    std::string storedKeystrokes() const {
        return output(environment() + TAPWELL_EXECUTABLE +
                      " stats --json | grep '\"keystrokes\"' | tr -d ' ,'");
    }

    static constexpr const char* padTakes = "Try-out pad takes typing";
    static constexpr const char* padReleases = "Try-out pad releases typing";

    test::TempDir dir_;
    std::unique_ptr<test::PrivateSessionBus> bus_;
    int argc_ = 1;
    char name_[24] = "onboarding-end-to-end";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
    std::unique_ptr<test::FakeStatusNotifierWatcher> watcher_;
    std::unique_ptr<test::ChildProcess> tapwell_;
    QString item_;
    std::string onboarding_;
};

TEST_F(OnboardingEndToEnd, ThePadSoundsWithoutCountingAndTypingElsewhereCounts) {
    focus(onboarding_, true);
    const std::size_t before = soundCount();
    typeSlowly("tap");
    EXPECT_TRUE(test::waitUntil([&] { return soundCount() >= before + 6; }, 5s))
        << soundCount() - before << " sounds\n"
        << log();
    EXPECT_EQ(soundCount(), before + 6);
    EXPECT_EQ(label(), "0");

    // Another program's window takes the focus.
    QWidget elsewhere;
    elsewhere.setWindowTitle(QStringLiteral("elsewhere"));
    elsewhere.resize(200, 100);
    elsewhere.show();
    ASSERT_TRUE(test::waitUntil([&] {
        return elsewhere.windowHandle() != nullptr && elsewhere.windowHandle()->isExposed();
    }));
    focus(std::to_string(elsewhere.winId()), false);
    const std::size_t counted = soundCount();
    typeSlowly("well");
    EXPECT_TRUE(test::waitUntil([&] { return label() == "4"; })) << label();
    EXPECT_TRUE(test::waitUntil([&] { return soundCount() >= counted + 8; }, 5s));
    EXPECT_EQ(soundCount(), counted + 8);

    EXPECT_EQ(tapwell_->stop(SIGTERM), 0) << log();
    EXPECT_EQ(storedKeystrokes(), "\"keystrokes\":4");
}

TEST_F(OnboardingEndToEnd, TabMovesTheFocusAndLeavingThePadCountsAgain) {
    focus(onboarding_, true);
    // Shift+Tab goes from the pad round to Next; Space presses it (on its release, so the press
    // is still the pad's and not counted): the keyboard access step, where typing counts again.
    // Had the pad taken either key, it would still take typing.
    ASSERT_EQ(run("xdotool key --delay 100 shift+Tab space"), 0);
    ASSERT_TRUE(test::waitUntil([&] { return !padTakesTyping(); })) << log();
    typeSlowly("tab");
    EXPECT_TRUE(test::waitUntil([&] { return label() == "3"; })) << label();

    EXPECT_EQ(tapwell_->stop(SIGTERM), 0) << log();
    EXPECT_EQ(storedKeystrokes(), "\"keystrokes\":3");
}

}  // namespace
}  // namespace tapwell

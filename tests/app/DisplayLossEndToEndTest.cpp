// The X server going away under a running program, as at the end of a session: the program must
// save what it counted and end cleanly, saying why, instead of dying in the X library's
// connection-error handler.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string readText(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Headless, only the program's own connections reach the display; with windows, Qt's connection
// does too, and Qt ends the process itself when it sees the break.
class DisplayLoss : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        if (std::system("command -v Xvfb >/dev/null && command -v xdotool >/dev/null") != 0) {
            GTEST_SKIP() << "needs Xvfb and xdotool";
        }
        // A server of the test's own, so that killing it takes nothing from other tests.
        for (int number = 150; number < 200 && display.empty(); ++number) {
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
            const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
            if (!fs::exists(socket) && !fs::exists(lock)) {
                display = ":" + std::to_string(number);
                server = std::make_unique<test::ChildProcess>(
                    std::vector<std::string>{xvfbPath(), display, "-screen", "0", "640x480x24",
                                             "-nolisten", "tcp"},
                    std::vector<std::string>{}, dir / "xvfb.log");
                for (int i = 0; i < 100 && !fs::exists(socket); ++i) {
                    std::this_thread::sleep_for(50ms);
                }
                // Another test may have taken the same number a moment earlier: the server
                // holding the lock is the one whose process number it holds.
                const std::string holder = readText(lock);
                const bool ours = fs::exists(socket) &&
                                  holder.find_first_of("0123456789") != std::string::npos &&
                                  std::stol(holder) == server->pid();
                if (!ours) {
                    display.clear();
                    server.reset();
                }
            }
        }
        ASSERT_FALSE(display.empty()) << "no private X server could be started";
    }

    static std::string xvfbPath() {
        for (const char* candidate : {"/usr/bin/Xvfb", "/usr/local/bin/Xvfb"}) {
            if (fs::exists(candidate)) {
                return candidate;
            }
        }
        return "Xvfb";
    }

    bool waitFor(std::string_view text) {
        for (int i = 0; i < 200; ++i) {
            if (readText(dir / "tapwell.log").find(text) != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    test::TempDir dir;
    std::string display;
    std::unique_ptr<test::ChildProcess> server;
};

TEST_P(DisplayLoss, SavesAndEndsCleanlyWhenTheServerGoesAway) {
    const bool headless = GetParam();
    const std::string home = dir.path().string();
    const std::vector<std::string> environment{
        "DISPLAY=" + display,
        "HOME=" + home,
        "XDG_CONFIG_HOME=" + home + "/config",
        "XDG_DATA_HOME=" + home + "/data",
        "XDG_RUNTIME_DIR=" + home,
        "DBUS_SESSION_BUS_ADDRESS=unix:path=" + home + "/no-bus",
        "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + home + "/no-bus",
        std::string("TAPWELL_RESOURCE_DIR=") + TAPWELL_TEST_RESOURCE_DIR};
    // No welcome window: its try-out pad would take the typing.
    test::ChildProcess onboarded(
        {TAPWELL_EXECUTABLE, "defaults", "write", "onboardingCompleted", "bool", "true"},
        environment, dir / "defaults.log");
    ASSERT_EQ(onboarded.wait(10.0), 0) << readText(dir / "defaults.log");
    std::vector<std::string> command{TAPWELL_EXECUTABLE, "--audio-output", "null"};
    if (headless) {
        command.emplace_back("--headless");
    }
    test::ChildProcess tapwell(command, environment, dir / "tapwell.log");
    ASSERT_TRUE(waitFor("listening to the keyboard")) << readText(dir / "tapwell.log");
    ASSERT_EQ(std::system(("DISPLAY=" + display + " xdotool type --delay 80 abcdefghi").c_str()),
              0);
    std::this_thread::sleep_for(300ms);

    server->terminate();  // the session ends
    const std::optional<int> status = tapwell.wait(10.0);
    const std::string said = readText(dir / "tapwell.log");
    ASSERT_TRUE(status.has_value()) << "still running after the X server went away\n" << said;
    EXPECT_EQ(*status, 0) << said;
    EXPECT_NE(said.find("Tapwell: the connection to the display ended; statistics saved"),
              std::string::npos)
        << said;
    EXPECT_EQ(said.find("XIO"), std::string::npos) << said;
    EXPECT_EQ(said.find("X connection to"), std::string::npos) << said;

    std::int64_t counted = -1;
    for (const auto& entry : fs::directory_iterator(dir / "data/Tapwell/stats")) {
        std::smatch match;
        const std::string text = readText(entry.path());
        if (std::regex_search(text, match, std::regex(R"("keystrokes"\s*:\s*(\d+))"))) {
            counted = std::stoll(match[1]);
        }
    }
    EXPECT_EQ(counted, 9) << "every key typed before the server went away is saved";
}

std::string runName(const ::testing::TestParamInfo<bool>& run) {
    return run.param ? "Headless" : "WithWindows";
}

INSTANTIATE_TEST_SUITE_P(Runs, DisplayLoss, ::testing::Values(true, false), runName);

}  // namespace
}  // namespace tapwell

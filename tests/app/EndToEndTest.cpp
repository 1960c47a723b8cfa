// The application as a user runs it: headless, on a virtual X server, writing its sound to a WAV
// file in real time. Keys typed with xdotool must each produce one onset; none while sounds are
// switched off.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "WavOnsets.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

using namespace std::chrono_literals;

// Killed when the test ends; asked to quit with stop(SIGTERM).
using Process = test::ChildProcess;
using test::onsets;

int run(const std::string& command) {
    return std::system(command.c_str());
}

std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') {
            GTEST_SKIP() << "needs an X server (scripts/run-tests starts Xvfb)";
        }
        if (run("command -v xdotool >/dev/null") != 0) {
            GTEST_SKIP() << "needs xdotool";
        }
    }

    test::TempDir dir;

    // Everything the program keeps or reaches lives in the test's folder.
    std::vector<std::string> environment() const {
        const std::string home = dir.path().string();
        return {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config",
                "XDG_DATA_HOME=" + home + "/data", "XDG_RUNTIME_DIR=" + home,
                // No bus: the user's must never be reached, and none may be started for us.
                "DBUS_SESSION_BUS_ADDRESS=unix:path=" + home + "/no-bus",
                "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + home + "/no-bus",
                std::string("TAPWELL_RESOURCE_DIR=") + TAPWELL_TEST_RESOURCE_DIR,
                "TAPWELL_LOG=warn"};
    }

    std::unique_ptr<Process> launch(const std::filesystem::path& wav) {
        return std::make_unique<Process>(
            std::vector<std::string>{TAPWELL_EXECUTABLE, "--headless", "--audio-output",
                                     "wav:" + wav.string()},
            environment(), dir / "tapwell.log");
    }

    // Runs tapwell with `arguments` in the test's environment; its output goes to `output`.
    int runTapwell(const std::string& arguments, const std::string& output) {
        std::string command = "env";
        for (const std::string& variable : environment()) {
            command += " " + variable;
        }
        return run(command + " " + TAPWELL_EXECUTABLE + " " + arguments + " >" +
                   (dir / output).string() + " 2>&1");
    }

    bool waitForListening() {
        for (int i = 0; i < 200; ++i) {
            if (readText(dir / "tapwell.log").find("listening to the keyboard") !=
                std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    // Presses and releases `count` letters, each 0.3 s apart.
    void typeSlowly(int count) {
        std::string command = "xdotool";
        const char* letters = "tapwel";
        for (int i = 0; i < count; ++i) {
            command += std::string(" keydown ") + letters[i % 6] + " sleep 0.3 keyup " +
                       letters[i % 6] + " sleep 0.3";
        }
        ASSERT_EQ(run(command), 0);
    }
};

TEST_F(EndToEnd, EveryKeyDownAndUpSounds) {
    const auto wav = dir / "out.wav";
    auto tapwell = launch(wav);
    ASSERT_TRUE(tapwell->running());
    ASSERT_TRUE(waitForListening()) << readText(dir / "tapwell.log");
    std::this_thread::sleep_for(300ms);
    typeSlowly(4);
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(tapwell->stop(SIGTERM), 0) << readText(dir / "tapwell.log");
    EXPECT_EQ(onsets(wav).size(), 8u) << readText(dir / "tapwell.log");
    // Only what holds is said: the keyboard was there from the start.
    EXPECT_EQ(readText(dir / "tapwell.log").find("no access to the keyboard"), std::string::npos);
}

TEST_F(EndToEnd, SilentWhileSoundsAreOff) {
    const std::string home = dir.path().string();
    ASSERT_EQ(run("XDG_CONFIG_HOME=" + home + "/config " + TAPWELL_EXECUTABLE +
                  " defaults write soundsEnabled bool false"),
              0);
    const auto wav = dir / "out.wav";
    auto tapwell = launch(wav);
    ASSERT_TRUE(waitForListening()) << readText(dir / "tapwell.log");
    typeSlowly(3);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(tapwell->stop(SIGTERM), 0);
    EXPECT_EQ(onsets(wav).size(), 0u);
}

TEST_F(EndToEnd, ASecondStartHandsOverAndDeletionGoesThroughTheFirst) {
    auto tapwell = launch(dir / "out.wav");
    ASSERT_TRUE(waitForListening()) << readText(dir / "tapwell.log");
    typeSlowly(2);

    EXPECT_EQ(runTapwell("--headless --settings", "second.txt"), 0);
    EXPECT_NE(readText(dir / "second.txt").find("already running"), std::string::npos)
        << readText(dir / "second.txt");
    EXPECT_EQ(runTapwell("stats delete --yes", "delete.txt"), 0) << readText(dir / "delete.txt");
    EXPECT_NE(readText(dir / "delete.txt").find("through the running Tapwell"), std::string::npos);

    // The first program's last save brings none of the deleted keystrokes back.
    EXPECT_EQ(tapwell->stop(SIGTERM), 0) << readText(dir / "tapwell.log");
    EXPECT_EQ(runTapwell("stats --json", "stats.txt"), 0);
    EXPECT_NE(readText(dir / "stats.txt").find("\"keystrokes\": 0"), std::string::npos)
        << readText(dir / "stats.txt");
}

}  // namespace
}  // namespace tapwell

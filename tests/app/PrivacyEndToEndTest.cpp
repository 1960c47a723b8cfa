// What the running program keeps of what is typed, and whom it talks to. A pass-phrase typed on a
// virtual X server must leave no trace in any file the program wrote, in its standard error or in
// its log lines (which --verbose sends there): not as text, not as its key codes in order, and no
// record per key. And the program opens local sockets only.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
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

// Last: its macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xlib.h>

namespace tapwell {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr std::string_view passPhrase = "gravy oxbow nimbus fjord";

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The X key codes of the phrase's characters on the server's current keyboard map.
std::vector<int> x11KeyCodes(std::string_view text) {
    std::vector<int> codes;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return codes;
    }
    for (char c : text) {
        const std::string name = c == ' ' ? std::string("space") : std::string(1, c);
        codes.push_back(XKeysymToKeycode(display, XStringToKeysym(name.c_str())));
    }
    XCloseDisplay(display);
    return codes;
}

// Every way a list of key codes could be written down: as bytes, as 16- and 32-bit numbers, and
// as decimal text with the usual separators.
std::vector<std::string> encodings(const std::vector<int>& codes) {
    std::vector<std::string> out(2 + 4);
    const char* separators[] = {",", ", ", " ", "\n"};
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const int code = codes[i];
        out[0].push_back(static_cast<char>(code));
        for (int byte = 0; byte < 4; ++byte) {
            out[1].push_back(static_cast<char>((code >> (8 * byte)) & 0xFF));
        }
        for (std::size_t s = 0; s < 4; ++s) {
            out[2 + s] += (i == 0 ? "" : separators[s]) + std::to_string(code);
        }
    }
    std::string shorts;
    for (int code : codes) {
        shorts.push_back(static_cast<char>(code & 0xFF));
        shorts.push_back(static_cast<char>((code >> 8) & 0xFF));
    }
    out.push_back(shorts);
    return out;
}

bool canTrace() {
    return std::system("strace -f -o /dev/null true >/dev/null 2>&1") == 0;
}

class PrivacyEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') {
            GTEST_SKIP() << "needs an X server (scripts/run-tests starts Xvfb)";
        }
        if (std::system("command -v xdotool >/dev/null") != 0) {
            GTEST_SKIP() << "needs xdotool";
        }
    }

    test::TempDir dir;
    fs::path home = dir / "home";

    // Everything the program may write goes below `home`.
    std::vector<std::string> environment(const std::string& logLevel) const {
        const std::string h = home.string();
        return {"HOME=" + h, "XDG_CONFIG_HOME=" + h + "/config", "XDG_DATA_HOME=" + h + "/data",
                "XDG_CACHE_HOME=" + h + "/cache", "XDG_STATE_HOME=" + h + "/state",
                "TMPDIR=" + h + "/tmp", "XDG_RUNTIME_DIR=" + h + "/tmp",
                // No bus: the user's must never be reached, and none may be started for us.
                "DBUS_SESSION_BUS_ADDRESS=unix:path=" + h + "/no-bus",
                "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + h + "/no-bus",
                std::string("TAPWELL_RESOURCE_DIR=") + TAPWELL_TEST_RESOURCE_DIR,
                "TAPWELL_LOG=" + logLevel};
    }

    bool waitFor(const fs::path& log, std::string_view text) {
        for (int i = 0; i < 200; ++i) {
            if (readBytes(log).find(text) != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    // Key-downs of today's statistics file, or -1 when there is none.
    std::int64_t countedToday() const {
        const fs::path stats = home / "data" / "Tapwell" / "stats";
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(stats, error)) {
            const std::string text = readBytes(entry.path());
            const std::smatch match = [&] {
                std::smatch m;
                std::regex_search(text, m, std::regex(R"("keystrokes"\s*:\s*(\d+))"));
                return m;
            }();
            if (!match.empty()) {
                return std::stoll(match[1]);
            }
        }
        return -1;
    }
};

TEST_F(PrivacyEndToEnd, ATypedPassPhraseLeavesNoTrace) {
    fs::create_directories(home / "tmp");
    const fs::path stderrFile = dir / "stderr.txt";  // outside `home`: searched on its own
    auto tapwell = std::make_unique<test::ChildProcess>(
        std::vector<std::string>{TAPWELL_EXECUTABLE, "--headless", "--verbose", "--audio-output",
                                 "wav:" + (home / "sound.wav").string()},
        environment("trace"), stderrFile);
    ASSERT_TRUE(waitFor(stderrFile, "listening to the keyboard")) << readBytes(stderrFile);
    const std::size_t logBefore = readBytes(stderrFile).size();

    ASSERT_EQ(std::system(("xdotool type --delay 60 '" + std::string(passPhrase) + "'").c_str()),
              0);
    std::this_thread::sleep_for(500ms);
    const std::size_t logDuringTyping = readBytes(stderrFile).size() - logBefore;
    ASSERT_EQ(tapwell->terminate(), 0) << readBytes(stderrFile);

    // The keys did reach the program: every one was counted.
    EXPECT_EQ(countedToday(), static_cast<std::int64_t>(passPhrase.size()));

    std::vector<std::string> needles;
    const std::string phrase(passPhrase);
    needles.push_back(phrase);
    std::string joined = phrase;
    std::erase(joined, ' ');
    needles.push_back(joined);
    for (std::size_t start = 0; start < phrase.size();) {  // each word on its own
        const std::size_t end = std::min(phrase.find(' ', start), phrase.size());
        needles.push_back(phrase.substr(start, end - start));
        start = end + 1;
    }
    const std::vector<int> xCodes = x11KeyCodes(passPhrase);
    ASSERT_EQ(xCodes.size(), passPhrase.size());
    std::vector<int> evdevCodes;
    for (int code : xCodes) {
        evdevCodes.push_back(code - 8);
    }
    std::vector<std::string> codeNeedles = encodings(xCodes);
    for (std::string& encoded : encodings(evdevCodes)) {
        codeNeedles.push_back(std::move(encoded));
    }
    // Words that only a record of single keys would contain.
    const std::vector<std::string> perKeyWords = {"keycode", "key code", "keysym",
                                                  "KEY_",    "XK_",      "\"code\""};

    std::vector<fs::path> files = {stderrFile};
    for (const auto& entry : fs::recursive_directory_iterator(home)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    ASSERT_GE(files.size(), 3u) << "the program wrote its settings and statistics";
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        const std::string bytes = readBytes(file);
        const std::string lower = lowercase(bytes);
        for (const std::string& needle : needles) {
            EXPECT_EQ(lower.find(needle), std::string::npos) << needle;
        }
        for (std::size_t i = 0; i < codeNeedles.size(); ++i) {
            EXPECT_EQ(bytes.find(codeNeedles[i]), std::string::npos) << "key codes, encoding " << i;
        }
        if (file.extension() != ".wav") {
            for (const std::string& word : perKeyWords) {
                EXPECT_EQ(lower.find(lowercase(word)), std::string::npos) << word;
            }
        }
    }
    // Not a line per key, even at the most detailed log level.
    const std::string typingLog = readBytes(stderrFile).substr(logBefore, logDuringTyping);
    EXPECT_LT(std::count(typingLog.begin(), typingLog.end(), '\n'), 5) << typingLog;
}

// The program's process id under strace: the tracer's only child.
pid_t tracedChild(pid_t tracer) {
    for (int i = 0; i < 100; ++i) {
        std::ifstream children("/proc/" + std::to_string(tracer) + "/task/" +
                               std::to_string(tracer) + "/children");
        pid_t child = 0;
        if (children >> child && child > 0) {
            return child;
        }
        std::this_thread::sleep_for(50ms);
    }
    return 0;
}

TEST_F(PrivacyEndToEnd, OpensOnlyLocalSockets) {
    if (std::system("command -v strace >/dev/null") != 0) {
        GTEST_SKIP() << "needs strace (scripts/install-deps installs it)";
    }
    if (!canTrace()) {
        GTEST_SKIP() << "strace cannot trace here: ptrace is not permitted (a container without "
                        "CAP_SYS_PTRACE, or kernel.yama.ptrace_scope)";
    }
    fs::create_directories(home / "tmp");
    const fs::path trace = dir / "trace.txt";
    const fs::path stderrFile = dir / "stderr.txt";
    // The sound device (the default output) too: it may talk to the sound server.
    auto strace = std::make_unique<test::ChildProcess>(
        std::vector<std::string>{"/usr/bin/strace", "-f", "-qq", "-e",
                                 "trace=socket,socketpair,connect", "-o", trace.string(),
                                 TAPWELL_EXECUTABLE, "--headless"},
        environment("warn"), stderrFile);
    ASSERT_TRUE(waitFor(stderrFile, "listening to the keyboard")) << readBytes(stderrFile);
    ASSERT_EQ(std::system("xdotool type --delay 60 'quiet'"), 0);
    std::this_thread::sleep_for(1500ms);  // past the key monitor's and the timers' first rounds
    const pid_t child = tracedChild(strace->pid());
    ASSERT_GT(child, 0);
    ::kill(child, SIGTERM);
    EXPECT_EQ(strace->wait(10.0), 0) << readBytes(stderrFile);

    const std::string calls = readBytes(trace);
    std::istringstream lines(calls);
    std::string line;
    int sockets = 0;
    const std::regex family(R"((socket|socketpair)\((AF_[A-Z0-9]+))");
    const std::regex remote(R"(connect\(.*sa_family=(AF_[A-Z0-9]+))");
    while (std::getline(lines, line)) {
        std::smatch match;
        if (std::regex_search(line, match, family) || std::regex_search(line, match, remote)) {
            ++sockets;
            const std::string kind = match[match.size() - 1];
            EXPECT_TRUE(kind == "AF_UNIX" || kind == "AF_LOCAL" || kind == "AF_NETLINK") << line;
        }
    }
    EXPECT_GT(sockets, 0) << "the trace saw the X11 connection at least:\n" << calls;
}

}  // namespace
}  // namespace tapwell

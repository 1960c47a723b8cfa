#include "platform/linux/keyboard/EvdevKeyTap.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "keyboard/KeyCodes.h"
#include "keyboard/RecordingSink.h"
#include "platform/linux/keyboard/EvdevOrX11KeyTap.h"
#include "platform/linux/keyboard/EvdevStreamParser.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

using namespace std::chrono_literals;
using test::RecordingSink;
using test::TempDir;

input_event record(std::uint16_t type, std::uint16_t code, std::int32_t value,
                   std::int64_t usec = 0) {
    input_event event{};
    event.input_event_sec = static_cast<decltype(event.input_event_sec)>(usec / 1'000'000);
    event.input_event_usec = static_cast<decltype(event.input_event_usec)>(usec % 1'000'000);
    event.type = type;
    event.code = code;
    event.value = value;
    return event;
}
input_event key(std::int64_t code, std::int32_t value, std::int64_t usec = 0) {
    return record(EV_KEY, static_cast<std::uint16_t>(code), value, usec);
}
input_event report() {
    return record(EV_SYN, SYN_REPORT, 0);
}
input_event dropped() {
    return record(EV_SYN, SYN_DROPPED, 0);
}

std::vector<std::byte> bytes(const std::vector<input_event>& events) {
    std::vector<std::byte> out(events.size() * sizeof(input_event));
    std::memcpy(out.data(), events.data(), out.size());
    return out;
}

// ---- the stream parser, no ioctl involved ----

TEST(EvdevStreamParser, PressReleaseAndRepeatKeepTheirValuesAndTimeStamps) {
    EvdevStreamParser parser;
    RecordingSink sink;
    const auto data = bytes({key(keycode::a, 1, 5'000'250), report(), key(keycode::a, 2, 5'250'000),
                             report(), key(keycode::a, 0, 6'000'000), report()});
    parser.feed(data.data(), data.size(), sink);
    ASSERT_EQ(sink.keys.size(), 3u);
    EXPECT_EQ(sink.keys[0], (KeyTapEvent{keycode::a, KeyTapAction::press, 5'000'250'000}));
    EXPECT_EQ(sink.keys[1], (KeyTapEvent{keycode::a, KeyTapAction::repeat, 5'250'000'000}));
    EXPECT_EQ(sink.keys[2], (KeyTapEvent{keycode::a, KeyTapAction::release, 6'000'000'000}));
    EXPECT_EQ(sink.missed, 0);
}

TEST(EvdevStreamParser, RecordsSplitAcrossReadsAreJoined) {
    EvdevStreamParser parser;
    RecordingSink sink;
    const auto data = bytes({key(keycode::space, 1, 1), report(), key(keycode::space, 0, 2)});
    // Feed in awkward pieces: 5 bytes, then 30, then the rest.
    parser.feed(data.data(), 5, sink);
    EXPECT_TRUE(sink.keys.empty());
    parser.feed(data.data() + 5, 30, sink);
    EXPECT_EQ(sink.keys.size(), 1u);
    parser.feed(data.data() + 35, data.size() - 35, sink);
    ASSERT_EQ(sink.keys.size(), 2u);
    EXPECT_EQ(sink.keys[1].action, KeyTapAction::release);
}

TEST(EvdevStreamParser, DroppedEventsSkipTheRestOfTheFrameAndAreReported) {
    EvdevStreamParser parser;
    RecordingSink sink;
    const auto data = bytes({key(keycode::a, 1), report(), dropped(), key(keycode::a, 0),
                             key(keycode::k, 1), report(), key(keycode::k, 0), report()});
    parser.feed(data.data(), data.size(), sink);
    EXPECT_EQ(sink.missed, 1);
    ASSERT_EQ(sink.keys.size(), 2u);
    EXPECT_EQ(sink.keys[0].code, keycode::a);
    EXPECT_EQ(sink.keys[1], (KeyTapEvent{keycode::k, KeyTapAction::release, 0}));
}

TEST(EvdevStreamParser, CapsLockLedAndOtherEventTypes) {
    EvdevStreamParser parser;
    RecordingSink sink;
    const auto data = bytes({record(EV_MSC, MSC_SCAN, 0x70004), record(EV_LED, LED_NUML, 1),
                             record(EV_LED, LED_CAPSL, 1), record(EV_REL, REL_X, 3),
                             key(keycode::a, 7), record(EV_LED, LED_CAPSL, 0), report()});
    parser.feed(data.data(), data.size(), sink);
    EXPECT_TRUE(sink.keys.empty());  // value 7 is no key state
    EXPECT_EQ(sink.caps, (std::vector<bool>{true, false}));
    EXPECT_EQ(parser.capsLock(), false);
}

TEST(EvdevStreamParser, ButtonsAreNoKeys) {
    EvdevStreamParser parser;
    RecordingSink sink;
    const auto data =
        bytes({key(BTN_LEFT, 1), key(BTN_LEFT, 0), key(BTN_TOUCH, 1), key(BTN_TRIGGER_HAPPY1, 1),
               key(KEY_OK, 1), key(keycode::fn, 1), report()});
    parser.feed(data.data(), data.size(), sink);
    ASSERT_EQ(sink.keys.size(), 2u);
    EXPECT_EQ(sink.keys[0].code, KEY_OK);
    EXPECT_EQ(sink.keys[1].code, keycode::fn);
}

TEST(EvdevStreamParser, ClockOffsetShiftsWallClockStamps) {
    EvdevStreamParser parser;
    parser.setClockOffsetNs(-1'000'000'000);
    RecordingSink sink;
    const auto data = bytes({key(keycode::a, 1, 3'000'000)});
    parser.feed(data.data(), data.size(), sink);
    ASSERT_EQ(sink.keys.size(), 1u);
    EXPECT_EQ(sink.keys[0].timestampNs, 2'000'000'000);
}

// A FIFO may carry any stamp (found by fuzzing: seconds near 2^63 overflowed the conversion).
TEST(EvdevStreamParser, StampsOutOfRangeStopAtTheEndsOfTheRange) {
    constexpr auto largest = std::numeric_limits<std::int64_t>::max();
    constexpr auto smallest = std::numeric_limits<std::int64_t>::min();
    struct Case {
        std::int64_t seconds;
        std::int64_t offset;
        std::int64_t expected;
    };
    for (const Case& c : {Case{largest / 2, 0, largest}, Case{smallest / 2, 0, smallest},
                          Case{9'223'372'036, 900'000'000, largest},
                          Case{-9'223'372'036, -900'000'000, smallest}}) {
        EvdevStreamParser parser;
        parser.setClockOffsetNs(c.offset);
        RecordingSink sink;
        input_event event = key(keycode::a, 1);
        event.input_event_sec = static_cast<decltype(event.input_event_sec)>(c.seconds);
        const auto data = bytes({event});
        parser.feed(data.data(), data.size(), sink);
        ASSERT_EQ(sink.keys.size(), 1u);
        EXPECT_EQ(sink.keys[0].timestampNs, c.expected) << c.seconds;
    }
}

TEST(EvdevStreamParser, ReadsAPipeUntilItsWriterGoes) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    EvdevStreamParser parser;
    RecordingSink sink;
    EXPECT_EQ(parser.readFrom(fds[0], sink), EvdevStreamParser::ReadStatus::more);
    // More than one read batch, so the reader loops.
    std::vector<input_event> many;
    for (int i = 0; i < 100; ++i) {
        many.push_back(key(keycode::a, i % 2 == 0 ? 1 : 0, i));
    }
    const auto data = bytes(many);
    ASSERT_EQ(::write(fds[1], data.data(), data.size()), static_cast<ssize_t>(data.size()));
    EXPECT_EQ(parser.readFrom(fds[0], sink), EvdevStreamParser::ReadStatus::more);
    EXPECT_EQ(sink.keys.size(), 100u);
    ::close(fds[1]);
    EXPECT_EQ(parser.readFrom(fds[0], sink), EvdevStreamParser::ReadStatus::endOfFile);
    ::close(fds[0]);
}

// ---- the evdev tap on a folder of FIFOs ----

// Stands in for the kernel's answers: FIFOs are keyboards unless listed as something else.
struct ProbeState {
    std::map<ino_t, bool> notKeyboard;
    std::optional<bool> capsLock;
    bool monotonic = true;
    int inspections = 0;
};

class FakeProbe final : public EvdevDeviceProbe {
  public:
    explicit FakeProbe(std::shared_ptr<ProbeState> state) : state_(std::move(state)) {}
    std::expected<DeviceInfo, Error> inspect(int fd) override {
        ++state_->inspections;
        struct stat info {};
        ::fstat(fd, &info);
        DeviceInfo device;
        device.isKeyboard = !state_->notKeyboard.contains(info.st_ino);
        device.monotonicClock = state_->monotonic;
        device.capsLock = state_->capsLock;
        return device;
    }
    std::optional<bool> capsLock(int) override { return state_->capsLock; }

  private:
    std::shared_ptr<ProbeState> state_;
};

class EvdevKeyTapTest : public ::testing::Test {
  protected:
    std::filesystem::path makeDevice(const std::string& name, mode_t mode = 0600) {
        const auto path = dir / name;
        EXPECT_EQ(::mkfifo(path.c_str(), mode), 0) << std::strerror(errno);
        ::chmod(path.c_str(), mode);  // past the umask
        return path;
    }
    // The writer end, opened once the tap reads the FIFO (so it does not block).
    int openWriter(const std::filesystem::path& path) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GE(fd, 0) << std::strerror(errno);
        writers.push_back(fd);
        return fd;
    }
    void send(int fd, const std::vector<input_event>& events) {
        const auto data = bytes(events);
        ASSERT_EQ(::write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
    }
    void TearDown() override {
        for (int fd : writers) {
            ::close(fd);
        }
    }

    TempDir dir;
    std::shared_ptr<ProbeState> probe = std::make_shared<ProbeState>();
    EvdevKeyTap tap{dir.path(), std::make_unique<FakeProbe>(probe)};
    RecordingSink sink;
    std::vector<int> writers;
};

TEST_F(EvdevKeyTapTest, UnavailableWithoutDevices) {
    EXPECT_FALSE(tap.refresh(sink));
    EXPECT_EQ(tap.capsLock(), std::nullopt);
    EvdevKeyTap missing(dir / "nowhere", std::make_unique<FakeProbe>(probe));
    EXPECT_FALSE(missing.refresh(sink));
}

TEST_F(EvdevKeyTapTest, ReadsKeysOfEveryKeyboardNode) {
    const auto first = makeDevice("event0");
    const auto second = makeDevice("event7");
    makeDevice("mouse0");  // not an event node: never opened
    ASSERT_TRUE(tap.refresh(sink));
    EXPECT_EQ(tap.deviceCount(), 2u);
    const int a = openWriter(first);
    const int b = openWriter(second);
    send(a, {key(keycode::a, 1, 1'000'000), report()});
    tap.wait(1s, sink);
    send(b, {key(keycode::space, 0, 3'000'000), report()});
    tap.wait(1s, sink);
    ASSERT_EQ(sink.keys.size(), 2u);
    EXPECT_EQ(sink.keys[0], (KeyTapEvent{keycode::a, KeyTapAction::press, 1'000'000'000}));
    EXPECT_EQ(sink.keys[1], (KeyTapEvent{keycode::space, KeyTapAction::release, 3'000'000'000}));
}

TEST_F(EvdevKeyTapTest, OtherInputDevicesAreProbedOnce) {
    const auto mouse = makeDevice("event3");
    struct stat info {};
    ::stat(mouse.c_str(), &info);
    probe->notKeyboard[info.st_ino] = true;
    EXPECT_FALSE(tap.refresh(sink));
    EXPECT_FALSE(tap.refresh(sink));
    EXPECT_EQ(probe->inspections, 1);
    EXPECT_EQ(tap.deviceCount(), 0u);
}

// The parser's rules have their own tests above; here its drops and LED changes reach the sink.
TEST_F(EvdevKeyTapTest, DroppedEventsAndCapsLockLedAreReported) {
    const auto path = makeDevice("event0");
    ASSERT_TRUE(tap.refresh(sink));
    const int fd = openWriter(path);
    send(fd, {key(keycode::a, 1), report(), dropped(), key(keycode::a, 0), report(),
              key(keycode::k, 1), record(EV_LED, LED_CAPSL, 1), report()});
    tap.wait(1s, sink);
    EXPECT_EQ(sink.missed, 1);
    ASSERT_EQ(sink.keys.size(), 2u);
    EXPECT_EQ(sink.keys[1].code, keycode::k);
    EXPECT_EQ(sink.caps, (std::vector<bool>{true}));
    EXPECT_EQ(tap.deviceCount(), 1u);  // a drop is no reason to close the device
}

TEST_F(EvdevKeyTapTest, AVanishedDeviceIsDropped) {
    const auto path = makeDevice("event0");
    ASSERT_TRUE(tap.refresh(sink));
    const int fd = openWriter(path);
    send(fd, {key(keycode::a, 1), report()});
    // Unplugged: the node goes and the stream ends.
    std::filesystem::remove(path);
    ::close(fd);
    writers.clear();
    for (int i = 0; i < 3 && tap.deviceCount() > 0; ++i) {
        tap.wait(1s, sink);
    }
    EXPECT_EQ(tap.deviceCount(), 0u);
    EXPECT_EQ(sink.keys.size(), 1u);  // what came before the end is still delivered
    EXPECT_GE(sink.missed, 1);
    EXPECT_FALSE(tap.refresh(sink));
}

TEST_F(EvdevKeyTapTest, ANodeReplacedByAnotherDeviceIsReopened) {
    const auto path = makeDevice("event0");
    ASSERT_TRUE(tap.refresh(sink));
    std::filesystem::remove(path);
    makeDevice("event0");
    ASSERT_TRUE(tap.refresh(sink));
    EXPECT_EQ(tap.deviceCount(), 1u);
    EXPECT_GE(sink.missed, 1);
    const int fd = openWriter(path);  // the new node is the one being read
    send(fd, {key(keycode::a, 1), report()});
    tap.wait(1s, sink);
    EXPECT_EQ(sink.keys.size(), 1u);
}

TEST_F(EvdevKeyTapTest, APluggedInKeyboardIsPickedUpWithoutWaitingForARefresh) {
    EXPECT_FALSE(tap.refresh(sink));  // starts watching the folder
    const auto path = makeDevice("event4");
    tap.wait(1s, sink);  // the folder's change wakes the wait
    ASSERT_EQ(tap.deviceCount(), 1u);
    const int fd = openWriter(path);
    send(fd, {key(keycode::enter, 1), report()});
    tap.wait(1s, sink);
    ASSERT_EQ(sink.keys.size(), 1u);
    EXPECT_EQ(sink.keys[0].code, keycode::enter);
}

TEST_F(EvdevKeyTapTest, CapsLockComesFromTheLedsAndOpensNothingForLong) {
    makeDevice("event0");
    probe->capsLock = true;
    EXPECT_EQ(tap.capsLock(), true);
    EXPECT_EQ(tap.deviceCount(), 0u);  // looked briefly, closed again
    ASSERT_TRUE(tap.refresh(sink));
    probe->capsLock = false;
    EXPECT_EQ(tap.capsLock(), false);
}

TEST_F(EvdevKeyTapTest, WallClockStampsAreMovedOntoTheMonotonicClock) {
    probe->monotonic = false;
    const auto path = makeDevice("event0");
    ASSERT_TRUE(tap.refresh(sink));
    timespec realNow{};
    timespec monoNow{};
    ::clock_gettime(CLOCK_REALTIME, &realNow);
    ::clock_gettime(CLOCK_MONOTONIC, &monoNow);
    const std::int64_t realUs = realNow.tv_sec * 1'000'000LL + realNow.tv_nsec / 1000;
    const int fd = openWriter(path);
    send(fd, {key(keycode::a, 1, realUs), report()});
    tap.wait(1s, sink);
    ASSERT_EQ(sink.keys.size(), 1u);
    const std::int64_t monoNs = monoNow.tv_sec * 1'000'000'000LL + monoNow.tv_nsec;
    EXPECT_NEAR(static_cast<double>(sink.keys[0].timestampNs), static_cast<double>(monoNs), 50e6);
}

TEST_F(EvdevKeyTapTest, WakeEndsAWaitAtOnce) {
    tap.wake();
    const auto start = std::chrono::steady_clock::now();
    tap.wait(10s, sink);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(EvdevKeyTapTest, CloseForgetsEveryDevice) {
    makeDevice("event0");
    ASSERT_TRUE(tap.refresh(sink));
    tap.close();
    EXPECT_EQ(tap.deviceCount(), 0u);
    EXPECT_TRUE(tap.refresh(sink));
}

// Runs `scenario` as an unprivileged user: root reads everything whatever the mode says. The
// scenario runs in a child process (a gtest death-test fork) that exits 0 when it passed.
void asUnprivileged(const std::filesystem::path& folder, const std::function<bool()>& scenario) {
    if (::geteuid() != 0) {
        EXPECT_TRUE(scenario());
        return;
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::chmod(folder.c_str(), 0777);
            for (auto p = folder.parent_path(); p != p.root_path(); p = p.parent_path()) {
                struct stat info {};
                if (::stat(p.c_str(), &info) != 0 || (info.st_mode & S_IXOTH) == 0) {
                    std::_Exit(3);  // the nobody user cannot reach the folder
                }
            }
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
                std::_Exit(2);
            }
            std::_Exit(scenario() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(EvdevKeyTapPermissions, AccessGrantedLaterIsPickedUpAndWithdrawnAccessDropsTheDevice) {
    TempDir dir;
    asUnprivileged(dir.path(), [&] {
        const auto path = dir / "event0";
        if (::mkfifo(path.c_str(), 0600) != 0 || ::chmod(path.c_str(), 0) != 0) {
            return false;
        }
        auto probe = std::make_shared<ProbeState>();
        EvdevKeyTap tap(dir.path(), std::make_unique<FakeProbe>(probe));
        RecordingSink sink;
        const bool deniedAtFirst = !tap.refresh(sink);
        ::chmod(path.c_str(), 0600);  // the user joined the input group
        const bool grantedThen = tap.refresh(sink);
        ::chmod(path.c_str(), 0);  // and left it
        const bool droppedAfter = !tap.refresh(sink) && tap.deviceCount() == 0 && sink.missed == 1;
        return deniedAtFirst && grantedThen && droppedAfter;
    });
}

TEST(EvdevKeyTapPermissions, APermissionChangeIsNoticedWithoutARefresh) {
    TempDir dir;
    asUnprivileged(dir.path(), [&] {
        const auto path = dir / "event0";
        if (::mkfifo(path.c_str(), 0600) != 0 || ::chmod(path.c_str(), 0) != 0) {
            return false;
        }
        EvdevKeyTap tap(dir.path(), std::make_unique<FakeProbe>(std::make_shared<ProbeState>()));
        RecordingSink sink;
        const bool deniedAtFirst = !tap.refresh(sink);
        ::chmod(path.c_str(), 0600);  // udev applies the ACL: an attribute change
        tap.wait(1s, sink);
        return deniedAtFirst && tap.deviceCount() == 1;
    });
}

TEST(LibevdevProbe, AFifoIsNoInputDevice) {
    TempDir dir;
    const auto path = dir / "event0";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    LibevdevProbe probe;
    const auto info = probe.inspect(fd);
    ASSERT_FALSE(info.has_value());
    EXPECT_EQ(info.error().domain, "posix");
    EXPECT_EQ(probe.capsLock(fd), std::nullopt);
    ::close(fd);

    // And so the real tap finds no keyboard in a folder of FIFOs.
    EvdevKeyTap tap(dir.path());
    RecordingSink sink;
    EXPECT_FALSE(tap.refresh(sink));
}

// ---- the combined tap without a display ----

TEST(EvdevOrX11KeyTap, UsesEvdevWhenAKeyboardOpensAndReportsTheSwitch) {
    TempDir dir;
    auto probe = std::make_shared<ProbeState>();
    EvdevOrX11KeyTap tap(
        std::make_unique<EvdevKeyTap>(dir.path(), std::make_unique<FakeProbe>(probe)), nullptr);
    RecordingSink sink;
    EXPECT_FALSE(tap.refresh(sink));
    EXPECT_EQ(tap.source(), EvdevOrX11KeyTap::Source::none);
    EXPECT_FALSE(tap.secureInput());

    const auto path = dir / "event0";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_TRUE(tap.refresh(sink));
    EXPECT_EQ(tap.source(), EvdevOrX11KeyTap::Source::evdev);
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const auto data = bytes({key(keycode::a, 1), report()});
    ASSERT_EQ(::write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
    tap.wait(1s, sink);
    EXPECT_EQ(sink.keys.size(), 1u);

    const int missedBefore = sink.missed;
    std::filesystem::remove(path);
    ::close(fd);
    EXPECT_FALSE(tap.refresh(sink));
    EXPECT_GT(sink.missed, missedBefore);
}

}  // namespace
}  // namespace tapwell

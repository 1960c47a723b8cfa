// The X11 adapters against a real X server (Xvfb in the test run), with keys injected by xdotool.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

#include "keyboard/GlobalShortcut.h"
#include "keyboard/KeyCodes.h"
#include "keyboard/RecordingSink.h"
#include "platform/linux/keyboard/X11HotKeyService.h"
#include "platform/linux/keyboard/X11KeyTap.h"

// Last: Xlib's macros (None, Bool, Status...) clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tapwell {
namespace {

using namespace std::chrono_literals;
using test::RecordingSink;

bool hasDisplay() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0';
}

// An X server resets when its last client leaves and refuses connections meanwhile; the tests
// open and close many. One connection held for the whole run keeps the server up.
struct KeepServerUp {
    KeepServerUp() {
        // The previous test program may just have left: give a resetting server a moment.
        for (int attempt = 0; hasDisplay() && display == nullptr && attempt < 40; ++attempt) {
            display = XOpenDisplay(nullptr);
            if (display == nullptr) {
                std::this_thread::sleep_for(50ms);
            }
        }
    }
    ~KeepServerUp() {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }
    Display* display = nullptr;
};
const KeepServerUp keepServerUp;

#define REQUIRE_DISPLAY()                                      \
    do {                                                       \
        if (!hasDisplay()) {                                   \
            GTEST_SKIP() << "no X display (DISPLAY is unset)"; \
        }                                                      \
    } while (false)

void xdotool(const std::string& arguments) {
    const std::string command = "xdotool " + arguments;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

std::int64_t monotonicNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

// Waits on the tap until `done()` or five seconds pass.
bool pump(KeyTap& tap, KeyTapSink& sink, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        tap.wait(100ms, sink);
    }
    return done();
}

// Leaves caps lock off whatever a test did.
struct CapsLockOff {
    ~CapsLockOff() {
        X11KeyTap tap;
        if (tap.capsLock() == true) {
            [[maybe_unused]] const int rc = std::system("xdotool key Caps_Lock");
        }
    }
};

TEST(X11KeyTap, DeliversRawPressesAndReleasesWithMonotonicTimeStamps) {
    REQUIRE_DISPLAY();
    X11KeyTap tap;
    RecordingSink sink;
    ASSERT_TRUE(tap.refresh(sink));
    const std::int64_t before = monotonicNs();
    xdotool("key a");
    xdotool("key space");
    ASSERT_TRUE(pump(tap, sink, [&] { return sink.keys.size() >= 4; }));
    const std::int64_t after = monotonicNs();
    ASSERT_EQ(sink.keys.size(), 4u);
    EXPECT_EQ(sink.keys[0].code, keycode::a);
    EXPECT_EQ(sink.keys[0].action, KeyTapAction::press);
    EXPECT_EQ(sink.keys[1].code, keycode::a);
    EXPECT_EQ(sink.keys[1].action, KeyTapAction::release);
    EXPECT_EQ(sink.keys[2].code, keycode::space);
    EXPECT_EQ(sink.keys[3].action, KeyTapAction::release);
    for (const auto& key : sink.keys) {
        // Millisecond server time: allow for its rounding at both ends.
        EXPECT_GE(key.timestampNs, before - 2'000'000);
        EXPECT_LE(key.timestampNs, after + 2'000'000);
    }
    EXPECT_LE(sink.keys[0].timestampNs, sink.keys[3].timestampNs);
}

TEST(X11KeyTap, KeyEventsCanBeSwitchedOff) {
    REQUIRE_DISPLAY();
    X11KeyTap tap;
    RecordingSink sink;
    tap.setKeyEventsEnabled(false);
    ASSERT_TRUE(tap.refresh(sink));
    xdotool("key b");
    tap.setKeyEventsEnabled(true);
    xdotool("key c");
    ASSERT_TRUE(pump(tap, sink, [&] { return sink.keys.size() >= 2; }));
    EXPECT_EQ(sink.keys[0].code, keycode::fromX11(54));  // X11 keycode of C under evdev rules
}

TEST(X11KeyTap, CapsLockOnAndOffAreSeenAsEventsAndByQuery) {
    REQUIRE_DISPLAY();
    CapsLockOff restore;
    X11KeyTap tap;
    RecordingSink sink;
    ASSERT_TRUE(tap.refresh(sink));
    ASSERT_EQ(tap.capsLock(), false);
    xdotool("key Caps_Lock");
    ASSERT_TRUE(pump(tap, sink, [&] { return !sink.caps.empty(); }));
    EXPECT_EQ(sink.caps.back(), true);
    EXPECT_EQ(tap.capsLock(), true);
    X11KeyTap other;  // not connected: connects, and then listens on that connection
    EXPECT_EQ(other.capsLock(), true);
    std::vector<PollingKeyTap::Watch> watches;
    other.collectWatches(watches);
    EXPECT_EQ(watches.size(), 1u);
    RecordingSink otherSink;
    xdotool("key Caps_Lock");
    ASSERT_TRUE(pump(tap, sink, [&] { return sink.caps.back() == false; }));
    EXPECT_EQ(tap.capsLock(), false);
    ASSERT_TRUE(pump(other, otherSink, [&] { return !otherSink.caps.empty(); }));
    EXPECT_EQ(otherSink.caps.back(), false);
}

TEST(X11KeyTap, AFocusedPasswordPromptMeansSecureInput) {
    REQUIRE_DISPLAY();
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const Window root = DefaultRootWindow(display);
    const Window prompt = XCreateSimpleWindow(display, root, 0, 0, 100, 50, 0, 0, 0);
    XClassHint hint{const_cast<char*>("pinentry-gtk-2"), const_cast<char*>("Pinentry-gtk-2")};
    XSetClassHint(display, prompt, &hint);
    const Window field = XCreateSimpleWindow(display, prompt, 0, 0, 50, 20, 0, 0, 0);
    const Window editor = XCreateSimpleWindow(display, root, 0, 0, 100, 50, 0, 0, 0);
    XClassHint editorHint{const_cast<char*>("gedit"), const_cast<char*>("Gedit")};
    XSetClassHint(display, editor, &editorHint);
    XMapWindow(display, prompt);
    XMapWindow(display, field);
    XMapWindow(display, editor);
    XSync(display, False);

    X11KeyTap tap;
    RecordingSink sink;
    ASSERT_TRUE(tap.refresh(sink));
    // The focus on a child of the prompt counts as well.
    XSetInputFocus(display, field, RevertToParent, CurrentTime);
    XSync(display, False);
    ASSERT_TRUE(tap.refresh(sink));
    EXPECT_TRUE(tap.secureInput());
    XSetInputFocus(display, editor, RevertToParent, CurrentTime);
    XSync(display, False);
    ASSERT_TRUE(tap.refresh(sink));
    EXPECT_FALSE(tap.secureInput());
    XSetInputFocus(display, PointerRoot, RevertToPointerRoot, CurrentTime);
    XDestroyWindow(display, prompt);
    XDestroyWindow(display, editor);
    XCloseDisplay(display);
}

TEST(X11KeyTap, PromptClassesAreMatchedLoosely) {
    EXPECT_TRUE(X11KeyTap::isSecurePromptClass("Pinentry-qt"));
    EXPECT_TRUE(X11KeyTap::isSecurePromptClass("ssh-askpass"));
    EXPECT_TRUE(X11KeyTap::isSecurePromptClass("polkit-gnome-authentication-agent-1"));
    EXPECT_TRUE(X11KeyTap::isSecurePromptClass("Gcr-prompter"));
    EXPECT_TRUE(X11KeyTap::isSecurePromptClass("kwalletd5"));
    EXPECT_FALSE(X11KeyTap::isSecurePromptClass("firefox"));
    EXPECT_FALSE(X11KeyTap::isSecurePromptClass(""));
}

TEST(X11KeyTap, UnavailableWithoutADisplay) {
    X11KeyTap tap(":987");
    RecordingSink sink;
    EXPECT_FALSE(tap.refresh(sink));
    EXPECT_EQ(tap.capsLock(), std::nullopt);
    EXPECT_FALSE(tap.secureInput());
}

TEST(X11HotKey, ControlAltKTogglesTwiceAlsoWithCapsLockOn) {
    REQUIRE_DISPLAY();
    CapsLockOff restore;
    PumpedMainQueue main;
    GlobalShortcut shortcut(std::make_unique<X11HotKeyService>(), main);
    int toggles = 0;
    shortcut.onToggle = [&] { ++toggles; };
    ASSERT_TRUE(shortcut.registerHotKey()) << shortcut.lastError()->description;
    xdotool("key ctrl+alt+k");
    ASSERT_TRUE(main.runUntil([&] { return toggles == 1; }, 5000ms));
    xdotool("key Caps_Lock");
    xdotool("key ctrl+alt+k");
    ASSERT_TRUE(main.runUntil([&] { return toggles == 2; }, 5000ms));
    xdotool("key Caps_Lock");
    // K alone, or with one modifier only, is no toggle; a further press is.
    xdotool("key k ctrl+k ctrl+alt+k");
    ASSERT_TRUE(main.runUntil([&] { return toggles == 3; }, 5000ms));
    EXPECT_EQ(main.runPending(), 0u);
    EXPECT_EQ(toggles, 3);
}

TEST(X11HotKey, ASecondGrabOfTheSameCombinationFails) {
    REQUIRE_DISPLAY();
    X11HotKeyService first;
    X11HotKeyService second;  // another client
    const HotKey hotKey = GlobalShortcut::toggleHotKey;
    const auto held = first.registerHotKey(hotKey);
    ASSERT_TRUE(held.has_value()) << held.error().description;
    const auto refused = second.registerHotKey(hotKey);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().domain, "x11");
    EXPECT_EQ(refused.error().code, BadAccess);
    EXPECT_FALSE(refused.error().description.empty());

    // Once released by its holder the combination can be taken.
    first.unregisterHotKey(*held);
    const auto taken = second.registerHotKey(hotKey);
    EXPECT_TRUE(taken.has_value());
}

TEST(X11HotKey, RegistrationFailsWithoutADisplay) {
    X11HotKeyService service(":987");
    const auto result = service.registerHotKey(GlobalShortcut::toggleHotKey);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().domain, "x11");
}

}  // namespace
}  // namespace tapwell

// The meeting mute on a real X server: a virtual screen of its own (Xvfb) with a window manager
// (openbox) that names the focused window in _NET_ACTIVE_WINDOW, and windows of our own whose
// WM_CLASS the desktop entries turn into application ids.

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "DesktopFixture.h"
#include "platform/linux/desktop/X11FocusSource.h"
#include "support/ChildProcess.h"

// Xlib's macros (None, Status, ...) clash with GoogleTest's names: included last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tapwell {
namespace {

using namespace std::chrono_literals;

// Polls `f` until it gives a true value or ten seconds pass; returns the last value.
template <class F>
auto waitFor(F&& f) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    auto value = f();
    while (!value && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
        value = f();
    }
    return value;
}

// Xvfb on a display number nobody uses, with openbox managing it.
class VirtualDesktop {
  public:
    VirtualDesktop() {
        for (int n = 150; n < 250 && name_.empty(); ++n) {
            if (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)) ||
                std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock")) {
                continue;
            }
            const std::string name = ":" + std::to_string(n);
            xvfb_ = std::make_unique<test::ChildProcess>(std::vector<std::string>{
                "/usr/bin/Xvfb", name, "-screen", "0", "800x600x24", "-nolisten", "tcp"});
            display_ = waitFor([&] { return XOpenDisplay(name.c_str()); });
            if (display_ != nullptr) {
                name_ = name;
            }
        }
        if (display_ == nullptr) {
            return;
        }
        openbox_ = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{"/usr/bin/openbox", "--sm-disable"},
            std::vector<std::string>{"DISPLAY=" + name_});
        const Atom check = XInternAtom(display_, "_NET_SUPPORTING_WM_CHECK", False);
        managed_ = waitFor([&] { return rootProperty(check) != None; });
    }
    ~VirtualDesktop() {
        if (display_ != nullptr) {
            XCloseDisplay(display_);
        }
        // Asked to end, Xvfb removes its lock and socket files; killed, it would leave them.
        if (openbox_) {
            openbox_->stop(SIGTERM);
        }
        if (xvfb_) {
            xvfb_->stop(SIGTERM);
        }
    }

    bool ready() const { return managed_; }
    const std::string& name() const { return name_; }

    Window openWindow(const char* instance, const char* className) {
        const Window window =
            XCreateSimpleWindow(display_, DefaultRootWindow(display_), 10, 10, 200, 100, 0, 0, 0);
        XClassHint hint{const_cast<char*>(instance), const_cast<char*>(className)};
        XSetClassHint(display_, window, &hint);
        XMapWindow(display_, window);
        XFlush(display_);
        // Openbox may still be setting itself up: a window it does not manage yet would ignore
        // the request to activate it.
        waitFor([&] { return isManaged(window); });
        return window;
    }

    // Asks the window manager to focus `window`, as a task bar does.
    void activate(Window window) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2;  // from a pager
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, DefaultRootWindow(display_), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XFlush(display_);
    }

    Window active() { return rootProperty(XInternAtom(display_, "_NET_ACTIVE_WINDOW", False)); }

  private:
    bool isManaged(Window window) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        bool found = false;
        if (XGetWindowProperty(display_, DefaultRootWindow(display_),
                               XInternAtom(display_, "_NET_CLIENT_LIST", False), 0, 1024, False,
                               XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
            data != nullptr) {
            const auto* windows = reinterpret_cast<unsigned long*>(data);
            found = std::find(windows, windows + count, window) != windows + count;
            XFree(data);
        }
        return found;
    }

    Window rootProperty(Atom atom) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        Window value = None;
        if (XGetWindowProperty(display_, DefaultRootWindow(display_), atom, 0, 1, False, XA_WINDOW,
                               &type, &format, &count, &after, &data) == Success &&
            data != nullptr) {
            if (count == 1) {
                value = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
            }
            XFree(data);
        }
        return value;
    }

    std::string name_;
    Display* display_ = nullptr;
    std::unique_ptr<test::ChildProcess> xvfb_;
    std::unique_ptr<test::ChildProcess> openbox_;
    bool managed_ = false;
};

class FocusX11 : public test::DesktopIntegration {
  protected:
    VirtualDesktop desktop;
};

TEST_F(FocusX11, AMutedWindowInFrontSilencesTypingAndAnotherRestoresIt) {
    ASSERT_TRUE(desktop.ready()) << "Xvfb with openbox did not start";
    dir.write("applications/org.example.Meeting.desktop",
              "[Desktop Entry]\nType=Application\nName=Meeting\nStartupWMClass=MeetingApp\n");
    auto entries =
        std::make_shared<DesktopEntries>(std::vector<std::filesystem::path>{dir / "applications"});
    makeFocus = [&] { return std::make_unique<X11FocusSource>(entries, desktop.name()); };
    AppPreferences preferences;
    preferences.mutedApps = {"org.example.Meeting"};
    storePreferences(preferences);
    launch();
    ASSERT_GT(state->soundEngine()->busVolumes().typing, 0.0f);

    const Window meeting = desktop.openWindow("meeting", "MeetingApp");
    desktop.activate(meeting);
    ASSERT_TRUE(pumpUntil([&] { return state->soundEngine()->busVolumes().typing == 0.0f; }));
    EXPECT_EQ(desktop.active(), meeting);
    type(3);
    EXPECT_TRUE(pumpUntil([&] { return state->snapshot().today.keystrokes == 3; }));
    // Meetings pause the break nudges too (pauseInMeetings is on by default).
    EXPECT_TRUE(pumpUntil([&] { return !state->wellbeingStatus().nextMinutes.has_value(); }));

    const Window editor = desktop.openWindow("editor", "Editor");
    desktop.activate(editor);
    // The window manager may pass through "no window" on the way; the editor must end in front.
    ASSERT_TRUE(waitFor([&] { return desktop.active() == editor; }));
    EXPECT_TRUE(pumpUntil([&] { return state->soundEngine()->busVolumes().typing > 0.0f; }));
}

}  // namespace
}  // namespace tapwell

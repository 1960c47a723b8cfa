// The overlays on a private X server with two screens side by side (RandR monitors on one Xvfb
// screen: Xvfb's own Xinerama stacks its screens at the same origin). No compositor runs there,
// as on many plain X11 desktops.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <QWheelEvent>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/linux/x11/X11CompositingProbe.h"
#include "presentation/OverlayService.h"
#include "support/ManualMainTimer.h"
#include "ui/overlays/QtOverlayPresenter.h"

namespace tapwell::ui {
namespace {

int run(const std::string& command) {
    return std::system(command.c_str());
}

// A window that counts the presses and wheel turns it receives.
class Beneath final : public QWidget {
  public:
    int presses = 0;
    int wheels = 0;

  protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
    void wheelEvent(QWheelEvent*) override { ++wheels; }
};

class OverlayScreensTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (run("command -v Xvfb >/dev/null && command -v xrandr >/dev/null && "
                "command -v xdotool >/dev/null") != 0) {
            return;
        }
        for (int n = 140; n < 200 && server_ <= 0; ++n) {
            if (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)) ||
                std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock")) {
                continue;
            }
            display_ = ":" + std::to_string(n);
            server_ = fork();
            if (server_ == 0) {
                execlp("Xvfb", "Xvfb", display_.c_str(), "-screen", "0", "1440x600x24", "-nolisten",
                       "tcp", "-noreset", static_cast<char*>(nullptr));
                _exit(127);
            }
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            for (int i = 0; i < 100 && !std::filesystem::exists(socket); ++i) {
                usleep(50'000);
            }
        }
        setenv("DISPLAY", display_.c_str(), 1);
        // The left screen is the output's own, the right one a second monitor beside it.
        run("xrandr --setmonitor left 800/203x600/152+0+0 screen >/dev/null && "
            "xrandr --setmonitor right 640/162x480/122+800+0 none >/dev/null");
        static int argc = 3;
        static char name[] = "overlay_x11_tests";
        static char option[] = "-platform";
        static char platform[] = "xcb";
        static char* argv[] = {name, option, platform, nullptr};
        app_ = new QApplication(argc, argv);
    }

    static void TearDownTestSuite() {
        delete app_;  // before the server goes, or Qt ends the process
        app_ = nullptr;
        if (server_ > 0) {
            kill(server_, SIGTERM);
            waitpid(server_, nullptr, 0);
        }
    }

    void SetUp() override {
        if (app_ == nullptr) {
            GTEST_SKIP() << "needs Xvfb, xrandr and xdotool (scripts/install-deps)";
        }
    }

    static inline pid_t server_ = -1;
    static inline std::string display_;
    static inline QApplication* app_ = nullptr;
};

TEST_F(OverlayScreensTest, EachScreenIsDimmedAndInputPassesThroughToTheWindowsBeneath) {
    ASSERT_TRUE(QTest::qWaitFor([] { return QGuiApplication::screens().size() == 2; }, 5000));
    test::ManualMainTimer timer;
    X11CompositingProbe compositing;
    QtOverlayPresenter presenter([&compositing] { return compositing.active(); });
    const Localization localization("en", TAPWELL_TEST_RESOURCE_DIR);
    OverlayService service(&presenter, &timer, localization);

    Beneath beneath;
    beneath.setGeometry(0, 0, 1440, 600);
    beneath.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&beneath));

    service.dimEdges();
    service.showCapsLock();
    const auto shown = presenter.shown();
    ASSERT_EQ(shown.size(), 3u);
    const QRect screens[] = {{0, 0, 800, 600}, {800, 0, 640, 480}};
    for (int i = 0; i < 2; ++i) {
        QWidget* edges = presenter.window(shown[static_cast<std::size_t>(i)]);
        EXPECT_EQ(edges->geometry(), screens[i]);
        EXPECT_EQ(edges->screen()->geometry(), screens[i]);
        // Without a compositor only dithered bands are drawn: the middle stays visible.
        EXPECT_FALSE(edges->mask().isEmpty());
        EXPECT_FALSE(edges->mask().contains(edges->rect().center()));
    }
    EXPECT_EQ(presenter.window(shown[2])->geometry(), QRect(280, 265, 240, 70));
    for (QWidget* overlay : {presenter.window(shown[0]), presenter.window(shown[2])}) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(overlay));
    }

    // A click on the badge and on a band of each screen, and a wheel turn, reach the window
    // beneath.
    for (const char* point : {"400 300", "3 300", "1437 2"}) {
        ASSERT_EQ(run(std::string("xdotool mousemove ") + point + " click 1"), 0);
    }
    ASSERT_EQ(run("xdotool click 4"), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return beneath.presses == 3 && beneath.wheels >= 1; }, 5000))
        << beneath.presses << " presses, " << beneath.wheels << " wheel events";

    // The right screen goes away: its window goes with it, and the next dimming covers one screen.
    ASSERT_EQ(run("xrandr --delmonitor right >/dev/null"), 0);
    ASSERT_TRUE(QTest::qWaitFor([] { return QGuiApplication::screens().size() == 1; }, 5000));
    EXPECT_EQ(presenter.shown().size(), 2u);
    service.dimEdges();
    EXPECT_EQ(presenter.shown().size(), 2u);  // the badge and one edge window

    timer.advance(OverlayService::edgeVisibleSeconds + OverlayService::edgeFadeOutSeconds);
    EXPECT_TRUE(presenter.shown().empty());
}

}  // namespace
}  // namespace tapwell::ui

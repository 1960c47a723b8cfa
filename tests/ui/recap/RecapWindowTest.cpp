#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QProcess>
#include <QTest>

#include <cstdlib>
#include <optional>

#include "support/RecordingState.h"
#include "ui/recap/RecapView.h"
#include "ui/shell/DesktopUi.h"

namespace tapwell::ui {
namespace {

class RecapWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0') {
            GTEST_SKIP() << "needs an X server (scripts/run-tests starts Xvfb)";
        }
        static int argc = 3;
        static char name[] = "recap_x11_tests";
        static char option[] = "-platform";
        static char platform[] = "xcb";
        static char* argv[] = {name, option, platform, nullptr};
        static QApplication* app = new QApplication(argc, argv);
        (void)app;
        state.loadThemes("thock");
        desktop.emplace();
        desktop->attach(model);
    }

    // What another program reads from the clipboard for `target`, as xclip asks for it.
    QByteArray paste(const QString& target) {
        QProcess xclip;
        xclip.start(QStringLiteral("xclip"),
                    {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                     QStringLiteral("-t"), target, QStringLiteral("-o")});
        // The clipboard is served from this thread's event loop while xclip reads it.
        EXPECT_TRUE(QTest::qWaitFor([&] { return xclip.state() == QProcess::NotRunning; }, 10000))
            << "xclip did not finish";
        EXPECT_EQ(xclip.exitCode(), 0) << xclip.readAllStandardError().toStdString();
        return xclip.readAllStandardOutput();
    }

    test::RecordingState state{TAPWELL_TEST_RESOURCE_DIR};
    AppModel model{state};
    std::optional<DesktopUi> desktop;  // after the application
};

TEST_F(RecapWindowTest, CopiedCardPastesElsewhereAsAPngOfTheCardsSize) {
    if (QProcess::execute(QStringLiteral("sh"),
                          {QStringLiteral("-c"), QStringLiteral("command -v xclip >/dev/null")}) !=
        0) {
        GTEST_SKIP() << "needs xclip (scripts/install-deps)";
    }
    const auto content = state.recapContent();
    ASSERT_TRUE(content);
    const auto png = desktop->shell().renderRecapPng(*content);
    ASSERT_TRUE(png);
    ASSERT_TRUE(desktop->shell().copyPng(*png));

    const QByteArray targets = paste(QStringLiteral("TARGETS"));
    EXPECT_TRUE(targets.contains("image/png")) << targets.toStdString();
    EXPECT_TRUE(targets.contains("image/bmp")) << targets.toStdString();
    QImage pasted;
    ASSERT_TRUE(pasted.loadFromData(paste(QStringLiteral("image/png")), "PNG"));
    EXPECT_EQ(pasted.size(), QSize(1080, 1440));
}

TEST_F(RecapWindowTest, SecondOpenReusesTheWindow) {
    desktop->shell().showWindow(AppShell::Window::recap);
    QWidget* first = desktop->shell().window(AppShell::Window::recap);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->windowTitle(), QString::fromUtf8("Today’s Recap"));
    EXPECT_EQ(first->width(), RecapView::viewWidth);
    first->close();

    desktop->shell().showWindow(AppShell::Window::recap);
    EXPECT_EQ(desktop->shell().window(AppShell::Window::recap), first);
    EXPECT_TRUE(first->isVisible());
}

}  // namespace
}  // namespace tapwell::ui

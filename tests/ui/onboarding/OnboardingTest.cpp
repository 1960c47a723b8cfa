// The onboarding window against the recording state on the offscreen platform: its steps, what it
// reports, and how it hands keys to the state.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QStackedWidget>
#include <QTest>

#include <memory>

#include "keyboard/KeyCodes.h"
#include "support/QtTestApplication.h"
#include "support/RecordingState.h"
#include "ui/onboarding/AccessStep.h"
#include "ui/onboarding/OnboardingWindow.h"
#include "ui/onboarding/TryOutPad.h"
#include "ui/onboarding/TryOutStep.h"

namespace tapwell::ui {
namespace {

TAPWELL_QT_TEST_APPLICATION("onboarding_tests");

class OnboardingTest : public ::testing::Test {
  protected:
    OnboardingTest() {
        state.loadThemes("thock");
        model = std::make_unique<AppModel>(state);
        window = std::make_unique<OnboardingWindow>(*model);
        window->setScanCodes(ScanCodes::x11);
        window->setUptime([] { return 100.0; });
    }

    template <class Widget = QWidget>
    Widget* find(const char* name) const {
        auto* widget = window->findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    std::string text(const char* name) const {
        if (auto* label = qobject_cast<QLabel*>(find(name))) {
            return label->text().toStdString();
        }
        return find<QAbstractButton>(name)->text().toStdString();
    }

    bool shows(const char* name) const { return find(name)->isVisibleTo(window.get()); }

    void showStep(int step) {
        state.onboardingStepValue = step;
        state.publish(Published::onboarding);
    }

    void openAndActivate() {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        state.calls.clear();
    }

    // Sends a key to the widget with the focus, as the platform would; true when someone
    // accepted it.
    bool sendKey(QEvent::Type type, int key, quint32 scanCode, Qt::KeyboardModifiers modifiers = {},
                 bool autoRepeat = false) {
        QKeyEvent event(type, key, modifiers, scanCode, 0, 0, QString(), autoRepeat);
        event.setTimestamp(99'900);
        QWidget* target = QApplication::focusWidget();
        QApplication::sendEvent(target != nullptr ? target : window.get(), &event);
        return event.isAccepted();
    }

    test::RecordingState state{TAPWELL_TEST_RESOURCE_DIR};
    std::unique_ptr<AppModel> model;
    std::unique_ptr<OnboardingWindow> window;
};

TEST_F(OnboardingTest, ShowsTheStateStepWithItsButtons) {
    const struct {
        int step;
        const char* page;
        bool back;
        bool next;
        bool skip;
        bool finish;
        std::string dots;
    } cases[] = {
        {0, "tryOutStep", false, true, true, false, "Step 1 of 4"},
        {1, "accessStep", true, true, true, false, "Step 2 of 4"},
        {2, "privacyStep", true, true, true, false, "Step 3 of 4"},
        {3, "finishStep", true, false, false, true, "Step 4 of 4"},
        {7, "finishStep", true, false, false, true, "Step 4 of 4"},  // beyond the last: the last
    };
    for (const auto& c : cases) {
        showStep(c.step);
        EXPECT_EQ(window->findChild<QStackedWidget*>()->currentWidget()->objectName(),
                  QString::fromLatin1(c.page))
            << c.step;
        EXPECT_EQ(shows("back"), c.back) << c.step;
        EXPECT_EQ(shows("next"), c.next) << c.step;
        EXPECT_EQ(shows("skip"), c.skip) << c.step;
        EXPECT_EQ(shows("finish"), c.finish) << c.step;
        EXPECT_EQ(find("stepDots")->accessibleName().toStdString(), c.dots);
    }
}

TEST_F(OnboardingTest, ButtonsMoveThroughTheStepsAndClose) {
    openAndActivate();
    showStep(1);
    QTest::mouseClick(find("next"), Qt::LeftButton);
    QTest::mouseClick(find("back"), Qt::LeftButton);
    find("next")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(find("next"), Qt::Key_Return);
    EXPECT_EQ(state.calls, (std::vector<std::string>{"setOnboardingStep:2", "setOnboardingStep:0",
                                                     "setOnboardingStep:2"}));

    showStep(3);
    state.calls.clear();
    QTest::mouseClick(find("finish"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(state.called("onboardingWindowClosed"));

    // Skip closes from any step; opened again, the window is the same one.
    showStep(1);
    openAndActivate();
    QTest::mouseClick(find("skip"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(state.called("onboardingWindowClosed"));
}

TEST_F(OnboardingTest, ReportsItsFocusAndItsClosing) {
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_TRUE(state.called("onboardingWindowFocusChanged:true"));

    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    EXPECT_EQ(state.calls.back(), "onboardingWindowFocusChanged:false");

    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    state.calls.clear();
    QTest::keyClick(window.get(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(state.called("onboardingWindowClosed"));
}

TEST_F(OnboardingTest, HandsEveryKeyToTheStateWithItsLinuxCode) {
    openAndActivate();
    ASSERT_EQ(QApplication::focusWidget(), find("tryOutPad"));
    EXPECT_TRUE(sendKey(QEvent::KeyPress, Qt::Key_A, 38));
    EXPECT_TRUE(sendKey(QEvent::KeyPress, Qt::Key_A, 38, {}, true));
    EXPECT_TRUE(sendKey(QEvent::KeyRelease, Qt::Key_A, 38));
    EXPECT_TRUE(sendKey(QEvent::KeyPress, Qt::Key_Space, 65));
    state.localKeyResult = false;
    EXPECT_FALSE(sendKey(QEvent::KeyPress, Qt::Key_B, 56, Qt::ControlModifier));
    ASSERT_EQ(state.localKeys.size(), 5u);
    const auto& keys = state.localKeys;
    EXPECT_EQ(keys[0].code, keycode::a);
    EXPECT_TRUE(keys[0].isDown);
    EXPECT_FALSE(keys[0].isAutoRepeat);
    EXPECT_DOUBLE_EQ(keys[0].timestamp, 99.9);
    EXPECT_TRUE(keys[1].isAutoRepeat);
    EXPECT_FALSE(keys[2].isDown);
    EXPECT_EQ(keys[3].code, keycode::space);
    EXPECT_FALSE(keys[3].withCommandModifier);
    EXPECT_EQ(keys[4].code, 48);  // KEY_B
    EXPECT_TRUE(keys[4].withCommandModifier);
}

TEST_F(OnboardingTest, AKeyTheStateTakesGoesNoFurther) {
    openAndActivate();
    QWidget* pad = find("tryOutPad");
    ASSERT_EQ(QApplication::focusWidget(), pad);

    // Taken: Tab does not move the focus.
    state.localKeyResult = true;
    QTest::keyClick(pad, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), pad);
    EXPECT_TRUE(state.called("localKeyDown:15"));

    // Passed through: Tab moves on to the first theme (the default one), offered once only.
    state.localKeyResult = false;
    state.calls.clear();
    QTest::keyClick(pad, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("theme:thock"));
    EXPECT_EQ(std::count(state.calls.begin(), state.calls.end(), "localKeyDown:15"), 1);
}

TEST_F(OnboardingTest, SpaceAndReturnPressTheFocusedButtonEvenOnThePad) {
    openAndActivate();
    state.localKeyResult = true;
    QWidget* next = find("next");
    next->setFocus(Qt::TabFocusReason);
    QTest::keyClick(next, Qt::Key_Space);
    EXPECT_EQ(state.calls, std::vector<std::string>{"setOnboardingStep:1"});

    // A theme tile reached with Tab: Return chooses it; a letter still plays.
    QWidget* tile = find("theme:clicky");
    tile->setFocus(Qt::TabFocusReason);
    state.calls.clear();
    QTest::keyClick(tile, Qt::Key_Return);
    QTest::keyClick(tile, Qt::Key_A);
    EXPECT_EQ(state.calls,
              (std::vector<std::string>{"selectTheme:clicky", "localKeyDown:30", "localKeyUp:30"}));
}

TEST_F(OnboardingTest, AClickOnAThemeLeavesTheFocusOnThePad) {
    openAndActivate();
    QTest::mouseClick(find("theme:typewriter"), Qt::LeftButton);
    EXPECT_EQ(state.calls, std::vector<std::string>{"selectTheme:typewriter"});
    EXPECT_EQ(QApplication::focusWidget(), find("tryOutPad"));
}

TEST_F(OnboardingTest, ThePadCountsThePresses) {
    auto& pad = *find<TryOutPad>("tryOutPad");
    EXPECT_EQ(pad.count(), QString());
    EXPECT_EQ(pad.prompt().toStdString(), "Click here, then start typing");
    const struct {
        std::int64_t presses;
        std::string count;
        std::string caption;
    } cases[] = {{1, "1", "key press"}, {12'345, "12,345", "key presses"}};
    for (const auto& c : cases) {
        state.onboardingPressesValue = c.presses;
        state.publish(Published::onboarding);
        EXPECT_EQ(pad.count().toStdString(), c.count);
        EXPECT_EQ(pad.caption().toStdString(), c.caption);
    }
    openAndActivate();
    EXPECT_TRUE(pad.listening());
    EXPECT_EQ(pad.prompt().toStdString(), "Type anything here");
}

TEST_F(OnboardingTest, ThePadSaysWhyItStaysQuiet) {
    const struct {
        const char* what;
        bool audio;
        bool soundsOn;
        double mutedFor;   // seconds from now; 0 for no mute
        std::string note;  // empty when none shows
    } cases[] = {
        {"sounds on", true, true, 0, ""},
        {"no sound engine", false, true, 0, "No sound theme could be loaded"},
        {"sounds off", true, false, 0, "Sounds are switched off or muted"},
        {"muted", true, true, 600, "Sounds are switched off or muted"},
        {"mute just ended", true, true, -1, ""},
    };
    for (const auto& c : cases) {
        state.audioAvailableValue = c.audio;
        state.soundValue.soundsEnabled = c.soundsOn;
        state.soundValue.mutedUntil =
            c.mutedFor != 0 ? std::optional(state.nowValue + c.mutedFor) : std::nullopt;
        state.publish(Published::themes | Published::sound);
        EXPECT_EQ(shows("padNote"), !c.note.empty()) << c.what;
        if (!c.note.empty()) {
            EXPECT_EQ(text("padNote").rfind(c.note, 0), 0u) << c.what << ": " << text("padNote");
        }
    }
}

TEST_F(OnboardingTest, TheRecheckShowsWhileTheKeyboardCannotBeRead) {
    showStep(1);
    openAndActivate();
    state.inputAvailableValue = false;
    state.publish(Published::inputAvailable);
    EXPECT_TRUE(shows("recheck"));
    EXPECT_TRUE(shows("copyCommand"));
    EXPECT_EQ(text("accessStatus"), "Tapwell can’t read your keyboard yet");

    QTest::mouseClick(find("copyCommand"), Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "sudo usermod -aG input $USER");
    EXPECT_EQ(text("copyCommand"), "Copied");

    state.inputAvailableValue = true;
    state.publish(Published::inputAvailable);
    EXPECT_FALSE(shows("recheck"));
    EXPECT_FALSE(shows("copyCommand"));
    EXPECT_EQ(text("accessStatus"), "Tapwell can hear your keyboard");
}

TEST_F(OnboardingTest, FollowsTheStateAndItsLanguage) {
    state.snapshotValue.today = {};
    state.snapshotValue.today.date = "2025-11-25";
    state.snapshotValue.today.keystrokes = 42;
    state.shortcutAvailableValue = false;
    state.publish(Published::snapshot | Published::shortcutAvailable);
    EXPECT_EQ(text("sample"),
              R"({ "date": "2025-11-25", "keystrokes": 42, "topSpeed": 0, "breaks": 0 })");
    EXPECT_EQ(text("tipShortcutBody"),
              "Ctrl+Alt+K isn’t available on this desktop (another program may be using it), so "
              "switch sounds from the tray icon instead.");

    state.useLanguage("ja");
    state.publish(Published::localization);
    EXPECT_EQ(window->windowTitle().toStdString(), "Tapwell");
    EXPECT_EQ(text("next"), "次へ");
    EXPECT_EQ(find("stepDots")->accessibleName().toStdString(), "ステップ 1/4");
    EXPECT_EQ(find("tryOutPad")->accessibleName().toStdString(), "お試しパッド");
}

}  // namespace
}  // namespace tapwell::ui

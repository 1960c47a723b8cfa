// The popover against the recording state on the offscreen platform: driven with keys and clicks
// as a user would, read back as the user would see it.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QSlider>
#include <QTest>

#include <functional>
#include <memory>

#include "support/QtTestApplication.h"
#include "support/RecordingState.h"
#include "ui/popover/AccessPrompt.h"
#include "ui/popover/PopoverPlacement.h"
#include "ui/popover/PopoverView.h"
#include "ui/popover/PopoverWindow.h"

namespace tapwell::ui {
namespace {

ThemeEntry themeEntry(const std::string& id, const std::string& name, bool loads) {
    Theme theme;
    theme.id = id;
    theme.name = {{"en", name}, {"ja", name + "（日本語）"}};
    theme.colors.accent = "#C98B4F";
    theme.colors.onAccent = "#1B140E";
    theme.ranks = {{"en", {"R0", "R1", "R2", "R3", "R4", "R5"}}};
    ThemeEntry entry;
    entry.directory = "/themes/" + id;
    entry.theme = theme;
    if (loads) {
        entry.loaded = LoadedTheme{theme, entry.directory};
    } else {
        entry.failure = "missing file";
    }
    return entry;
}

// A popover over a recording state with two offered themes and a sample day.
struct Popover {
    Popover() {
        // "a" and "b" are offered; "c" loaded but the engine did not prepare it; "d" failed.
        state.themesValue = {themeEntry("a", "Alpha", true), themeEntry("b", "Beta", true),
                             themeEntry("c", "Gamma", true), themeEntry("d", "Delta", false)};
        state.availableThemeIDsValue = {"a", "b"};
        state.currentThemeValue = state.themesValue[0].loaded->theme;
        state.snapshotValue.today.keystrokes = 12'345;
        state.snapshotValue.today.topKpm = 312;
        state.snapshotValue.kpm = 184;
        state.wellbeingValue.nextMinutes = 22;
        model = std::make_unique<AppModel>(state);
        window = std::make_unique<PopoverWindow>(*model);
    }

    template <class Widget = QWidget>
    Widget* find(const char* name) const {
        auto* widget = window->findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // What a person sees of a control: a label's or button's text (with [x] when checked), a
    // slider's or bar's value.
    std::string shown(const char* name) const {
        QWidget* widget = find(name);
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            return label->text().toStdString();
        }
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            return button->text().toStdString() + (button->isChecked() ? " [x]" : "");
        }
        if (auto* slider = qobject_cast<QSlider*>(widget)) {
            return std::to_string(slider->value());
        }
        if (auto* bar = qobject_cast<QProgressBar*>(widget)) {
            return std::to_string(bar->value());
        }
        return "?";
    }

    void openAndActivate() {
        window->open(std::nullopt);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    test::RecordingState state{TAPWELL_TEST_RESOURCE_DIR};
    std::unique_ptr<AppModel> model;
    std::unique_ptr<PopoverWindow> window;
};

TAPWELL_QT_TEST_APPLICATION("popover_tests");

class PopoverTest : public ::testing::Test, public Popover {};

TEST_F(PopoverTest, ShowsThePublishedValues) {
    const Date now{1000.0};
    const struct {
        const char* what;
        std::function<void(test::RecordingState&)> change;
        PublishedSet published;
        const char* control;
        std::string expected;
    } cases[] = {
        {"grouped count", {}, {}, "count", "12,345"},
        {"rank", {}, {}, "rankName", "R2"},
        {"to the next rank", {}, {}, "rankDetail", "7,655 more keystrokes to reach R3"},
        {"speed", {}, {}, "speedNow", "184 keys/min"},
        {"one keystroke left", [](auto& s) { s.snapshotValue.today.keystrokes = 1999; },
         Published::snapshot, "rankDetail", "1 more keystroke to reach R1"},
        {"top rank", [](auto& s) { s.snapshotValue.today.keystrokes = 80'000; },
         Published::snapshot, "rankDetail", "You’ve reached the top rank"},
        {"full bar", [](auto& s) { s.snapshotValue.today.keystrokes = 80'000; },
         Published::snapshot, "rankProgress", "1000"},
        {"a single keystroke", [](auto& s) { s.snapshotValue.today.keystrokes = 1; },
         Published::snapshot, "countCaption", "keystroke today"},
        {"typing volume", [](auto& s) { s.soundValue.typingVolume = 0.3; }, Published::sound,
         "typingVolume", "30"},
        {"sounds off", [](auto& s) { s.soundValue.soundsEnabled = false; }, Published::sound,
         "soundsEnabled", "Play sounds"},
        {"muted",
         [now](auto& s) {
             s.nowValue = now;
             s.soundValue.mutedUntil = now + 90.5;
         },
         Published::sound | Published::now, "muteStatus", "Muted · 1:31 left"},
        {"unmute offered",
         [now](auto& s) {
             s.nowValue = now;
             s.soundValue.mutedUntil = now + 90;
         },
         Published::sound, "mute", "Unmute"},
        {"countdown follows now",
         [now](auto& s) {
             s.soundValue.mutedUntil = now + 3600;
             s.nowValue = now;
             s.publish(Published::sound);
             s.nowValue = now + 1;
         },
         Published::now, "muteStatus", "Muted · 59:59 left"},
        {"mute ran out",
         [now](auto& s) {
             s.soundValue.mutedUntil = now;
             s.nowValue = now;
         },
         Published::now, "mute", "Mute for an Hour"},
        {"one minute to the nudge", [](auto& s) { s.wellbeingValue.nextMinutes = 1; },
         Published::wellbeingStatus, "nudgeStatus", "Next break nudge in 1 minute"},
        {"nudge due", [](auto& s) { s.wellbeingValue.nextMinutes = 0; }, Published::wellbeingStatus,
         "nudgeStatus", "A break nudge is due now"},
        {"nudges off",
         [](auto& s) {
             s.wellbeingValue.nextMinutes.reset();
             s.preferencesValue.breakNudge = false;
         },
         Published::preferences, "nudgeStatus", "Break nudges are off"},
        {"resume offered", [now](auto& s) { s.wellbeingValue.pausedUntil = now; },
         Published::wellbeingStatus, "nudgeToggle", "Resume"},
        {"another theme selected",
         [](auto& s) { s.currentThemeValue = s.themesValue[1].loaded->theme; }, Published::themes,
         "theme:b", "Beta [x]"},
        {"Japanese", [](auto& s) { s.useLanguage("ja"); }, Published::localization, "quit",
         "Tapwell を終了"},
        {"Japanese theme name", [](auto& s) { s.useLanguage("ja"); }, Published::localization,
         "theme:a", "Alpha（日本語） [x]"},
    };
    for (const auto& c : cases) {
        Popover fresh;
        if (c.change) {
            c.change(fresh.state);
        }
        fresh.state.publish(c.published);
        EXPECT_EQ(fresh.shown(c.control), c.expected) << c.what;
    }
}

TEST_F(PopoverTest, ShowsTheNudgePauseInTheLocalesShortTime) {
    state.useLanguage("ja");
    state.wellbeingValue.pausedUntil = Date{1000.0};
    state.publish(Published::wellbeingStatus | Published::localization);
    const std::string time = state.localization().shortTime(Date{1000.0});
    EXPECT_EQ(shown("nudgeStatus"), time + "までお知らせを一時停止中");
    EXPECT_EQ(shown("nudgeToggle"), "再開");
}

TEST_F(PopoverTest, OffersOnlyThemesThatArePrepared) {
    EXPECT_NE(window->findChild<QWidget*>("theme:a"), nullptr);
    EXPECT_NE(window->findChild<QWidget*>("theme:b"), nullptr);
    EXPECT_EQ(window->findChild<QWidget*>("theme:c"), nullptr);
    EXPECT_EQ(window->findChild<QWidget*>("theme:d"), nullptr);
    EXPECT_FALSE(find("soundUnavailable")->isVisibleTo(window.get()));

    state.availableThemeIDsValue.clear();
    state.publish(Published::themes);
    EXPECT_EQ(window->findChild<QWidget*>("theme:a"), nullptr);
    EXPECT_TRUE(find("soundUnavailable")->isVisibleTo(window.get()));
}

TEST_F(PopoverTest, EveryControlCallsItsCommand) {
    openAndActivate();
    const struct {
        const char* control;
        int key;  // 0: a mouse click
        std::string call;
        bool closes;
    } cases[] = {
        {"theme:b", Qt::Key_Space, "selectTheme:b", false},
        {"theme:b", 0, "selectTheme:b", false},
        {"theme:b", Qt::Key_Return, "selectTheme:b", false},
        {"typingVolume", Qt::Key_Right, "setSoundSettings", false},
        {"soundsEnabled", Qt::Key_Space, "setSoundSettings", false},
        {"mute", Qt::Key_Space, "toggleMute", false},
        {"nudgeToggle", 0, "toggleWellbeingPause", false},
        {"recap", Qt::Key_Space, "openRecap", true},
        {"settings", Qt::Key_Enter, "openSettings", true},
        {"quit", Qt::Key_Space, "quit", true},
    };
    for (const auto& c : cases) {
        state.calls.clear();
        window->open(std::nullopt);
        auto* control = find(c.control);
        if (c.key != 0) {
            control->setFocus(Qt::TabFocusReason);
            QTest::keyClick(control, static_cast<Qt::Key>(c.key));
        } else {
            QTest::mouseClick(control, Qt::LeftButton);
        }
        EXPECT_EQ(state.calls, std::vector<std::string>{c.call}) << c.control;
        EXPECT_EQ(window->isVisible(), !c.closes) << c.control;
    }
    // The recording state keeps its theme: the tiles show that choice, not the click.
    EXPECT_EQ(shown("theme:a"), "Alpha [x]");
    EXPECT_EQ(shown("theme:b"), "Beta");
}

TEST_F(PopoverTest, SlidersAndSwitchSetTheSoundSettings) {
    const struct {
        const char* control;
        int key;
        double SoundSettings::*volume;
        double expected;
    } cases[] = {
        {"typingVolume", Qt::Key_Right, &SoundSettings::typingVolume, 0.75},
        {"typingVolume", Qt::Key_End, &SoundSettings::typingVolume, 1.0},
        {"alertVolume", Qt::Key_Left, &SoundSettings::alertVolume, 0.80},
        {"alertVolume", Qt::Key_PageDown, &SoundSettings::alertVolume, 0.75},
        {"alertVolume", Qt::Key_Home, &SoundSettings::alertVolume, 0.0},
    };
    for (const auto& c : cases) {
        Popover fresh;
        QTest::keyClick(fresh.find(c.control), static_cast<Qt::Key>(c.key));
        SoundSettings expected;  // the defaults, with this one volume changed
        expected.*c.volume = c.expected;
        EXPECT_EQ(fresh.state.soundValue, expected) << c.control << " " << c.key;
    }
    QTest::mouseClick(find("soundsEnabled"), Qt::LeftButton);
    EXPECT_FALSE(state.soundValue.soundsEnabled);
    EXPECT_EQ(shown("soundsEnabled"), "Play sounds");
}

TEST_F(PopoverTest, TabReachesEveryControlInOrderAndEachHasAName) {
    state.inputAvailableValue = false;
    state.publish(Published::inputAvailable);
    openAndActivate();
    const std::vector<std::string> expected = {
        "copyCommand",   "accessHelp", "theme:a",     "theme:b", "typingVolume", "alertVolume",
        "soundsEnabled", "mute",       "nudgeToggle", "recap",   "settings",     "quit"};
    std::vector<std::string> visited;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        visited.push_back(focused->objectName().toStdString());
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(focused);
        ASSERT_NE(accessible, nullptr);
        EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << visited.back();
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    EXPECT_EQ(visited, expected);
}

TEST_F(PopoverTest, TheKeyboardNoticeComesAndGoesWithInput) {
    openAndActivate();
    auto* prompt = find("accessPrompt");
    EXPECT_FALSE(prompt->isVisible());
    const int heightWithout = window->height();

    state.inputAvailableValue = false;
    state.publish(Published::inputAvailable);
    QApplication::processEvents();
    EXPECT_TRUE(prompt->isVisible());
    EXPECT_GT(window->height(), heightWithout);

    QTest::mouseClick(find("copyCommand"), Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), AccessPrompt::grantCommand);
    EXPECT_EQ(shown("copyCommand"), "Copied");
    QTest::keyClick(find("accessHelp"), Qt::Key_Space);
    EXPECT_TRUE(state.called("openInputSettings"));
    EXPECT_FALSE(window->isVisible()) << "the help window takes over";
    EXPECT_EQ(shown("copyCommand"), "Copy Command") << "\"Copied\" lasts while the popover shows";

    state.inputAvailableValue = true;
    state.publish(Published::inputAvailable);
    window->open(std::nullopt);
    QApplication::processEvents();
    EXPECT_FALSE(prompt->isVisible());
    EXPECT_EQ(window->height(), heightWithout);
}

TEST_F(PopoverTest, FocusLossAndEscapeClose) {
    qint64 milliseconds = 0;
    window->setClock([&milliseconds] { return milliseconds; });
    QWidget other;
    const auto loseFocus = [&] {
        openAndActivate();
        other.show();
        other.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
        EXPECT_FALSE(window->isVisible());
    };
    loseFocus();
    // The tray click that took the focus away arrives next; it must not reopen the popover.
    milliseconds += 150;
    window->toggle(std::nullopt);
    EXPECT_FALSE(window->isVisible());
    window->toggle(std::nullopt);
    EXPECT_TRUE(window->isVisible());
    window->toggle(std::nullopt);
    EXPECT_FALSE(window->isVisible());
    // A click long after the focus went elsewhere is a new one.
    loseFocus();
    milliseconds += 2000;
    window->toggle(std::nullopt);
    EXPECT_TRUE(window->isVisible());

    openAndActivate();
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(PopoverTest, FollowsTheDesktopPaletteWhenItChanges) {
    const auto captionLightness = [this] {
        return find<QLabel>("countCaption")->palette().color(QPalette::WindowText).lightness();
    };
    const QPalette original = QApplication::palette();
    QPalette dark = original;
    dark.setColor(QPalette::Window, QColor(0x24, 0x24, 0x27));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xf0));
    const int inLight = captionLightness();
    // The widgets hear of a new application palette through a posted event.
    QApplication::setPalette(dark);
    QApplication::processEvents();
    const int inDark = captionLightness();
    QApplication::setPalette(original);
    QApplication::processEvents();
    EXPECT_LT(inLight, 128);
    EXPECT_GT(inDark, 128);
    EXPECT_EQ(captionLightness(), inLight);
}

TEST(PopoverPlacement, StaysNextToThePointAndOnTheScreen) {
    const QSize size(360, 500);
    const QRect topPanel(0, 28, 1920, 1052);  // a 28-pixel panel along the top
    const QRect bottomPanel(0, 0, 1920, 1040);
    const QRect rightScreen(1920, 0, 1280, 1024);
    const struct {
        const char* what;
        std::optional<QPoint> anchor;
        QSize size;
        QRect available;
        QPoint expected;
    } cases[] = {
        {"below a click in a top panel", QPoint(960, 14), size, topPanel, {780, 36}},
        {"pushed left at the top-right corner", QPoint(1900, 14), size, topPanel, {1552, 36}},
        {"pushed right at the top-left corner", QPoint(5, 14), size, topPanel, {8, 36}},
        {"just below a point under the panel", QPoint(960, 300), size, topPanel, {780, 306}},
        {"above a click in a bottom panel", QPoint(1000, 1060), size, bottomPanel, {820, 532}},
        {"above a point in the lower half", QPoint(1000, 900), size, bottomPanel, {820, 394}},
        {"on the second screen", QPoint(3190, 10), size, rightScreen, {2832, 16}},
        {"centred under the top without a point", std::nullopt, size, topPanel, {780, 36}},
        {"taller than the screen keeps its top",
         QPoint(960, 14),
         QSize(360, 2000),
         topPanel,
         {780, 36}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(popoverPosition(c.anchor, c.size, c.available), c.expected) << c.what;
    }
}

TEST_F(PopoverTest, OpensWhollyOnTheScreenOfThePoint) {
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QPoint anchor :
         {available.bottomRight(), available.topLeft(), available.center(), QPoint(-5000, -5000)}) {
        window->hide();
        window->toggle(anchor);
        EXPECT_TRUE(available.contains(window->frameGeometry())) << anchor.x() << "," << anchor.y();
    }
}

}  // namespace
}  // namespace tapwell::ui

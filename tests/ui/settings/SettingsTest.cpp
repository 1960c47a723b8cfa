// The settings window against the recording state on the offscreen platform: every page shows
// what the state publishes, every control asks for its command, and the window follows the
// language, keeps its frame and asks before deleting.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <functional>
#include <memory>

#include "support/QtTestApplication.h"
#include "support/RecordingState.h"
#include "ui/settings/AppChooser.h"
#include "ui/settings/BarChart.h"
#include "ui/settings/EventsPage.h"
#include "ui/settings/PrivacyPage.h"
#include "ui/settings/SettingsForm.h"
#include "ui/settings/SettingsWindow.h"

namespace tapwell::ui {
namespace {

using test::RecordingState;

struct Settings {
    Settings() {
        state.loadThemes("thock");
        state.snapshotValue.today.date = "2025-11-25";
        state.snapshotValue.today.keystrokes = 12'345;
        state.notificationValue = {NotificationAuthorization::authorized, true};
        model = std::make_unique<AppModel>(state);
        window = std::make_unique<SettingsWindow>(*model);
    }

    template <class Widget = QWidget>
    Widget* find(const QString& name) const {
        auto* widget = window->findChild<Widget*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }

    // What a person sees of a control: its text, "[x]" when checked, "[off]" when disabled.
    std::string shown(const char* name) const {
        QWidget* widget = find(QString::fromLatin1(name));
        if (widget == nullptr) {
            return "?";
        }
        std::string text = "?";
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            // Pages other than the current one are hidden as a whole: ask the label's page.
            QWidget* page = label;
            while (page != nullptr && qobject_cast<SettingsPageView*>(page) == nullptr) {
                page = page->parentWidget();
            }
            if (page == nullptr) {
                page = window.get();
            }
            text = label->isVisibleTo(page) ? label->text().toStdString() : "(hidden)";
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            text = button->text().toStdString() + (button->isChecked() ? " [x]" : "");
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            text = combo->currentText().toStdString();
        } else if (auto* slider = qobject_cast<QSlider*>(widget)) {
            text = std::to_string(slider->value());
        } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget)) {
            text = spin->text().toStdString();
        }
        return widget->isEnabled() ? text : text + " [off]";
    }

    RecordingState state{TAPWELL_TEST_RESOURCE_DIR};
    std::unique_ptr<AppModel> model;
    std::unique_ptr<SettingsWindow> window;
};

TAPWELL_QT_TEST_APPLICATION("settings_tests");

class SettingsTest : public ::testing::Test, public Settings {};

TEST_F(SettingsTest, PagesShowWhatThePublishedValuesSay) {
    const struct {
        const char* what;
        std::function<void(RecordingState&)> change;
        PublishedSet published;
        const char* control;
        std::string expected;
    } cases[] = {
        {"tray count", [](auto& s) { s.preferencesValue.showCount = true; }, Published::preferences,
         "showCount", "Show today’s count in the tray [x]"},
        {"shortcut refused", [](auto& s) { s.shortcutAvailableValue = false; },
         Published::shortcutAvailable, "shortcutUnavailable",
         "Ctrl+Alt+K could not be set up: another program already uses it, or this desktop "
         "doesn’t allow global shortcuts."},
        {"shortcut off: nothing to explain",
         [](auto& s) {
             s.shortcutAvailableValue = false;
             s.preferencesValue.shortcutEnabled = false;
         },
         Published::preferences, "shortcutUnavailable", "(hidden)"},
        {"login item", [](auto& s) { s.loginEnabledValue = true; }, Published::login, "openAtLogin",
         "Open Tapwell when you log in [x]"},
        {"theme chosen elsewhere", [](auto& s) { s.loadThemes("clicky"); }, Published::themes,
         "theme:clicky", "Crisp Click [x]"},
        {"theme not prepared", [](auto& s) { s.availableThemeIDsValue.erase("bubbles"); },
         Published::themes, "theme:bubbles", "Bubble Pop [off]"},
        {"ambience", [](auto& s) { s.soundValue.rainEnabled = true; }, Published::sound, "ambience",
         "Play the theme’s ambience [x]"},
        {"ambience volume", [](auto& s) { s.soundValue.rainVolume = 0.45; }, Published::sound,
         "ambienceVolume", "45 [off]"},
        {"importing", [](auto& s) { s.importingThemeValue = true; }, Published::themes,
         "importTheme", "Importing… [off]"},
        {"caps lock alert off", [](auto& s) { s.preferencesValue.capsLock = false; },
         Published::preferences, "capsLock", "Caps Lock"},
        {"battery threshold", [](auto& s) { s.preferencesValue.batteryThreshold = 30; },
         Published::preferences, "batteryThreshold", "30%"},
        {"download watch failed", [](auto& s) { s.downloadErrorValue = "No Downloads folder"; },
         Published::downloadError, "downloadError", "No Downloads folder"},
        {"screenshot folder", [](auto& s) { s.screenshotFolderValue = "/home/sam/Shots"; },
         Published::screenshot, "screenshotFolder", "/home/sam/Shots"},
        {"no screenshot folder", {}, {}, "screenshotFolder", "No folder chosen yet"},
        {"screenshot folder gone", [](auto& s) { s.screenshotErrorValue = "It was removed"; },
         Published::screenshot, "screenshotError", "It was removed"},
        {"no built-in speakers", [](auto& s) { s.builtInSpeakersValue = false; }, Published::sound,
         "builtInSpeakers", "Always play through the built-in speakers [off]"},
        {"speakers on, then gone: can still be turned off",
         [](auto& s) {
             s.builtInSpeakersValue = false;
             s.preferencesValue.builtInSpeakers = true;
         },
         Published::preferences, "builtInSpeakers",
         "Always play through the built-in speakers [x]"},
        {"break minutes", [](auto& s) { s.preferencesValue.breakMinutes = 45; },
         Published::preferences, "breakMinutes", "45 minutes"},
        {"late night in the locale's time", [](auto& s) { s.preferencesValue.lateMinute = 1320; },
         Published::preferences, "lateTime", "10:00 PM"},
        {"daily limit grouped",
         [](auto& s) {
             s.preferencesValue.dailyLimit = true;
             s.preferencesValue.dailyKeystrokes = 25'000;
         },
         Published::preferences, "dailyKeystrokes", "25,000"},
        {"no notification server",
         [](auto& s) {
             s.notificationValue = {NotificationAuthorization::denied, false};
         },
         Published::notificationStatus, "testNotification", "Send Test Notification [off]"},
        {"notifications without buttons",
         [](auto& s) {
             s.notificationValue = {NotificationAuthorization::authorized, false};
         },
         Published::notificationStatus, "notificationDetail",
         "Your desktop shows notifications but not their buttons, so a break nudge can only be "
         "dismissed."},
        {"celebration off", [](auto& s) { s.soundValue.celebrationEnabled = false; },
         Published::sound, "celebration", "Celebrate each new rank"},
        {"today's total", {}, {}, "todayTotal", "12,345 keystrokes"},
        {"one keystroke", [](auto& s) { s.snapshotValue.today.keystrokes = 1; },
         Published::snapshot, "todayTotal", "1 keystroke"},
        {"words", {}, {}, "words", "About 2,469 words typed today"},
        {"sample follows the day", [](auto& s) { s.snapshotValue.today.breaks = 4; },
         Published::snapshot, "sample",
         "{ \"date\": \"2025-11-25\", \"keystrokes\": 12345, \"topSpeed\": 0, \"breaks\": 4 }"},
        {"a failure to show", [](auto& s) { s.serviceErrorValue = "Export failed: disk full"; },
         Published::serviceError, "serviceError", "Export failed: disk full"},
        {"no failure", {}, {}, "serviceError", "(hidden)"},
        {"language chosen elsewhere", [](auto& s) { s.useLanguage("ja"); }, Published::localization,
         "language", "日本語"},
    };
    for (const auto& c : cases) {
        Settings fresh;
        if (c.change) {
            c.change(fresh.state);
        }
        fresh.state.publish(c.published);
        EXPECT_EQ(fresh.shown(c.control), c.expected) << c.what;
    }
}

TEST_F(SettingsTest, ControlsCallTheirCommands) {
    state.serviceErrorValue = "failed";
    state.publish(Published::serviceError);
    window->show();
    const struct {
        SettingsPage page;
        const char* control;
        int key;  // 0: a mouse click
        std::string call;
        std::function<bool(const RecordingState&)> check;
    } cases[] = {
        {SettingsPage::general, "language", Qt::Key_Down, "setLanguage:zh-Hans", {}},
        {SettingsPage::general, "showCount", Qt::Key_Space, "setPreferences",
         [](auto& s) { return s.preferencesValue.showCount; }},
        {SettingsPage::general, "shortcut", 0, "setPreferences",
         [](auto& s) { return !s.preferencesValue.shortcutEnabled; }},
        {SettingsPage::general, "openAtLogin", 0, "setLoginEnabled:true", {}},
        {SettingsPage::general, "showOnboarding", Qt::Key_Space, "openOnboarding", {}},
        {SettingsPage::general, "dismissServiceError", 0, "clearServiceError", {}},
        {SettingsPage::themes, "theme:clicky", 0, "selectTheme:clicky", {}},
        {SettingsPage::themes, "theme:typewriter", Qt::Key_Space, "selectTheme:typewriter", {}},
        {SettingsPage::themes, "ambience", 0, "setSoundSettings",
         [](auto& s) { return s.soundValue.rainEnabled; }},
        {SettingsPage::events, "preview:charger", 0, "previewAlert:charger", {}},
        {SettingsPage::events, "preview:capsOn", Qt::Key_Space, "previewAlert:capsOn", {}},
        {SettingsPage::events, "download", 0, "setPreferences",
         [](auto& s) { return !s.preferencesValue.download; }},
        {SettingsPage::events, "batteryThreshold", Qt::Key_Down, "setPreferences",
         [](auto& s) { return s.preferencesValue.batteryThreshold == 30; }},
        {SettingsPage::events, "builtInSpeakers", 0, "setPreferences",
         [](auto& s) { return s.preferencesValue.builtInSpeakers; }},
        {SettingsPage::events, "addMutedApps", 0, "chooseMutedApps", {}},
        {SettingsPage::wellbeing, "breakMinutes", Qt::Key_Down, "setPreferences",
         [](auto& s) { return s.preferencesValue.breakMinutes == 90; }},
        {SettingsPage::wellbeing, "lateTime", Qt::Key_Up, "setPreferences",
         [](auto& s) { return s.preferencesValue.lateMinute == 0; }},  // 23:00 wraps to 0:00
        {SettingsPage::wellbeing, "dailyLimit", 0, "setPreferences",
         [](auto& s) { return s.preferencesValue.dailyLimit; }},
        {SettingsPage::wellbeing, "pauseInMeetings", 0, "setPreferences",
         [](auto& s) { return !s.preferencesValue.pauseInMeetings; }},
        {SettingsPage::wellbeing, "testNotification", 0, "sendTestNotification", {}},
        {SettingsPage::stats, "openRecap", 0, "openRecap", {}},
        {SettingsPage::stats, "celebration", 0, "setSoundSettings",
         [](auto& s) { return !s.soundValue.celebrationEnabled; }},
        {SettingsPage::privacy, "showStoredData", 0, "showStoredData", {}},
        {SettingsPage::privacy, "exportStats", Qt::Key_Space, "exportStats", {}},
    };
    for (const auto& c : cases) {
        state.calls.clear();
        window->showPage(c.page);
        QApplication::processEvents();  // a page shown for the first time lays itself out
        auto* control = find(QString::fromLatin1(c.control));
        ASSERT_NE(control, nullptr);
        ASSERT_TRUE(control->isVisibleTo(window.get())) << c.control;
        if (c.key != 0) {
            control->setFocus(Qt::TabFocusReason);
            QTest::keyClick(control, static_cast<Qt::Key>(c.key));
        } else {
            // Near the left edge: a switch reacts to its box and text, not to the whole row.
            QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(6, control->height() / 2));
        }
        EXPECT_EQ(state.calls, std::vector<std::string>{c.call}) << c.control;
        if (c.check) {
            EXPECT_TRUE(c.check(state)) << c.control;
        }
        state.preferencesValue = AppPreferences();
        state.soundValue = SoundSettings();
        state.publish(Published::preferences | Published::sound);
    }
}

TEST_F(SettingsTest, LanguageSwitchRetranslatesTheOpenWindow) {
    window->show();
    window->showPage(SettingsPage::wellbeing);
    state.useLanguage("ja");
    state.publish(Published::localization);
    EXPECT_EQ(window->windowTitle().toStdString(), state.localization().text("app.name"));
    EXPECT_EQ(find<QListWidget>(QStringLiteral("sidebar"))->item(2)->text().toStdString(),
              "イベント");
    EXPECT_EQ(shown("breakMinutes"), "60分");
    EXPECT_EQ(shown("showCount"), "今日の打鍵数をトレイに表示");
    EXPECT_EQ(shown("theme:thock"), "重厚リニア [x]");
    EXPECT_EQ(shown("lateTime"), "23:00");
    EXPECT_EQ(shown("todayTotal"), "12,345回");

    state.useLanguage("zh-Hans");
    state.publish(Published::localization);
    EXPECT_EQ(shown("deleteAllStats"), "全部删除…");
    EXPECT_EQ(shown("language"), "简体中文");
}

TEST_F(SettingsTest, MutedAppsAreListedOnceByNameAndRemovedByID) {
    state.installedAppsValue = {{"us.zoom.Zoom", "Zoom", ""}, {"obs", "OBS Studio", ""}};
    state.preferencesValue.mutedApps = {"us.zoom.Zoom", "teams", "obs", "us.zoom.Zoom", "Audacity"};
    state.publish(Published::preferences | Published::installedApps);
    auto* events = static_cast<EventsPage*>(window->page(SettingsPage::events));
    EXPECT_EQ(events->shownMutedApps(), (QStringList{"Audacity", "obs", "teams",
                                                     "us.zoom.Zoom"}));  // OBS Studio, teams, Zoom

    state.preferencesValue.mutedApps.push_back("alacritty");
    state.publish(Published::preferences);
    EXPECT_EQ(events->shownMutedApps(),
              (QStringList{"alacritty", "Audacity", "obs", "teams", "us.zoom.Zoom"}));

    auto* list = find<QListWidget>(QStringLiteral("mutedApps"));
    auto* remove = find<QAbstractButton>(QStringLiteral("removeMutedApp"));
    EXPECT_FALSE(remove->isEnabled());
    list->setCurrentRow(2);
    ASSERT_TRUE(remove->isEnabled());
    state.calls.clear();
    QTest::mouseClick(remove, Qt::LeftButton);
    EXPECT_EQ(state.calls, std::vector<std::string>{"removeMutedApp:obs"});
}

TEST_F(SettingsTest, ChooserOffersInstalledAppsNotYetMutedAndFiltersAsOneTypes) {
    state.installedAppsValue = {{"obs", "OBS Studio", ""},
                                {"gimp", "GNU Image Manipulation Program", ""},
                                {"us.zoom.Zoom", "Zoom", ""},
                                {"audacity", "audacity", ""}};
    state.preferencesValue.mutedApps = {"us.zoom.Zoom"};
    AppChooser chooser(*model);
    auto* list = chooser.findChild<QListWidget*>(QStringLiteral("applications"));
    ASSERT_NE(list, nullptr);
    QStringList names;
    for (int i = 0; i < list->count(); ++i) {
        names << list->item(i)->text();
    }
    EXPECT_EQ(names, (QStringList{"audacity", "GNU Image Manipulation Program", "OBS Studio"}));

    QTest::keyClicks(chooser.findChild<QLineEdit*>(QStringLiteral("search")), "IMAGE");
    EXPECT_TRUE(list->item(0)->isHidden());
    EXPECT_FALSE(list->item(1)->isHidden());
    list->item(1)->setSelected(true);
    EXPECT_EQ(chooser.chosen(), std::vector<std::string>{"gimp"});
}

TEST_F(SettingsTest, DeletingAsksFirstAndOnlyTheConfirmationDeletes) {
    window->show();
    window->showPage(SettingsPage::privacy);
    auto* page = static_cast<PrivacyPage*>(window->page(SettingsPage::privacy));
    auto* deleteAll = find<QAbstractButton>(QStringLiteral("deleteAllStats"));
    for (const bool confirm : {false, true}) {
        state.calls.clear();
        QTest::mouseClick(deleteAll, Qt::LeftButton);
        QMessageBox* box = page->confirmation();
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isVisible());
        EXPECT_TRUE(state.calls.empty()) << "deleted before the answer";
        EXPECT_NE(box->informativeText().indexOf(QStringLiteral("12,345")), -1)
            << box->informativeText().toStdString();
        // Cancel is what Return and Escape do.
        EXPECT_EQ(box->defaultButton()->objectName(), QStringLiteral("cancelDelete"));
        QTest::mouseClick(
            box->findChild<QAbstractButton*>(confirm ? "confirmDelete" : "cancelDelete"),
            Qt::LeftButton);
        EXPECT_EQ(state.calls, confirm ? std::vector<std::string>{"deleteAllStats"}
                                       : std::vector<std::string>{});
        QApplication::processEvents();
        EXPECT_EQ(page->confirmation(), nullptr);
    }
}

TEST_F(SettingsTest, OpensAtItsSizeAndRemembersItsFrame) {
    EXPECT_EQ(window->size(), SettingsWindow::contentSize);
    EXPECT_EQ(window->minimumSize(), SettingsWindow::minimumContentSize);
    window->show();
    window->resize(900, 700);
    window->hide();
    ASSERT_TRUE(state.windowFrames.contains(SettingsWindow::frameName));

    SettingsWindow again(*model);
    EXPECT_EQ(again.size(), QSize(900, 700));
}

TEST_F(SettingsTest, ChartsShowTodayLiveAndTheStoredFortnight) {
    state.snapshotValue.today.hourly[9] = 700;
    state.publish(Published::snapshot);
    state.recentDaysValue.clear();
    for (int day = 12; day <= 25; ++day) {
        DailyStats stored = DailyStats::empty("2025-11-" + std::to_string(day));
        stored.keystrokes = day * 100;
        state.recentDaysValue.push_back(stored);
    }
    window->show();
    window->showPage(SettingsPage::stats);
    const auto& days = find<BarChart>(QStringLiteral("dayChart"))->bars();
    ASSERT_EQ(days.size(), 14u);
    EXPECT_EQ(days.front().value, 1200);
    EXPECT_EQ(days.back().value, 12'345);  // today as counted, not as last saved
    EXPECT_EQ(days.back().label, QStringLiteral("25"));
    EXPECT_EQ(find<BarChart>(QStringLiteral("hourChart"))->bars()[9].value, 700);

    state.snapshotValue.today.keystrokes = 13'000;
    state.publish(Published::snapshot);
    EXPECT_EQ(find<BarChart>(QStringLiteral("dayChart"))->bars().back().value, 13'000);
}

TEST_F(SettingsTest, EveryControlIsReachableByTabAndNamed) {
    for (const SettingsPage page : allSettingsPages) {
        window->showPage(page);
        QWidget* content = window->page(page);
        for (QWidget* control : content->findChildren<QWidget*>()) {
            const bool interactive = qobject_cast<QAbstractButton*>(control) != nullptr ||
                                     qobject_cast<QComboBox*>(control) != nullptr ||
                                     qobject_cast<QSlider*>(control) != nullptr ||
                                     qobject_cast<QAbstractSpinBox*>(control) != nullptr ||
                                     qobject_cast<QListWidget*>(control) != nullptr;
            if (!interactive || !control->isVisibleTo(content)) {
                continue;
            }
            const std::string name = control->objectName().toStdString();
            EXPECT_TRUE(control->focusPolicy() & Qt::TabFocus) << toString(page) << " " << name;
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
            ASSERT_NE(accessible, nullptr);
            EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty())
                << toString(page) << " " << name;
        }
    }
}

}  // namespace
}  // namespace tapwell::ui

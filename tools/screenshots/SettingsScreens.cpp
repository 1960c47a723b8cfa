// The settings window at its first size, one screen per page, with a fortnight of sample days
// and a few applications installed.

#include <QApplication>
#include <QDate>

#include "Screens.h"
#include "ui/settings/SettingsWindow.h"

namespace tapwell::screenshots {

namespace {

// Fourteen days up to the sample day, with a quiet weekend.
std::vector<DailyStats> sampleDays(const DailyStats& today) {
    const std::int64_t counts[] = {8'420,  11'030, 9'870, 4'120, 1'050, 10'480, 12'900,
                                   13'560, 9'340,  7'780, 2'210, 640,   11'120, today.keystrokes};
    std::vector<DailyStats> days;
    for (int i = 0; i < 14; ++i) {
        DailyStats day =
            DailyStats::empty(QDate(2025, 11, 12).addDays(i).toString(Qt::ISODate).toStdString());
        day.keystrokes = counts[i];
        days.push_back(day);
    }
    days.back() = today;
    return days;
}

QImage renderPage(SettingsPage page, AppModel& model, test::RecordingState& state) {
    state.recentDaysValue = sampleDays(state.snapshotValue.today);
    state.screenshotFolderValue = "/home/sam/Pictures/Screenshots";
    state.notificationValue = {NotificationAuthorization::authorized, true};
    state.installedAppsValue = {{"us.zoom.Zoom", "Zoom", ""},
                                {"com.obsproject.Studio", "OBS Studio", ""},
                                {"org.jitsi.jitsi-meet", "Jitsi Meet", ""},
                                {"teams-for-linux", "Teams for Linux", ""}};
    ui::SettingsWindow window(model);
    window.resize(ui::SettingsWindow::contentSize);
    window.showPage(page);
    // Scroll bars that appear change the width the pages lay out in: let that settle.
    window.show();
    for (int round = 0; round < 3; ++round) {
        QApplication::processEvents();
    }
    return grabWindow(window);
}

}  // namespace

std::vector<Screen> settingsScreens() {
    std::vector<Screen> screens;
    for (const SettingsPage page : allSettingsPages) {
        screens.push_back({std::string("settings-") + toString(page),
                           [page](AppModel& model, test::RecordingState& state) {
                               return renderPage(page, model, state);
                           }});
    }
    return screens;
}

}  // namespace tapwell::screenshots

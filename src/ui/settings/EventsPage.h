#pragma once
// System alerts: one row per alert with its switch and a button that plays it, the battery
// threshold, the screenshot folder, playing through the built-in speakers, and the applications
// that silence typing sounds while they are in front.

#include <QStringList>

#include <vector>

#include "app/AppModel.h"
#include "ui/settings/SettingsForm.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QToolButton;

namespace tapwell::ui {

class EventsPage final : public SettingsPageView {
    Q_OBJECT

  public:
    explicit EventsPage(AppModel& model, QWidget* parent = nullptr);
    void retranslate() override;

    // The muted applications' ids in the order the list shows them.
    QStringList shownMutedApps() const;

  private:
    struct Alert {
        SystemSoundEvent event;
        const char* key;  // "settings.events.<key>" and its note
        bool AppPreferences::*preference;
        QCheckBox* toggle = nullptr;
        QToolButton* preview = nullptr;
        QLabel* note = nullptr;
    };
    void showValues();
    void showFolder();
    void showMutedApps();
    void chooseFolder();

    AppModel& model_;
    QLabel* alertsCaption_ = nullptr;
    std::vector<Alert> alerts_;
    QComboBox* threshold_ = nullptr;
    QLabel* downloadError_ = nullptr;
    QLabel* folder_ = nullptr;
    QPushButton* chooseFolder_ = nullptr;
    QLabel* screenshotError_ = nullptr;
    QLabel* outputCaption_ = nullptr;
    QCheckBox* speakers_ = nullptr;
    QLabel* speakersNote_ = nullptr;
    QLabel* mutedCaption_ = nullptr;
    QLabel* mutedNote_ = nullptr;
    QListWidget* mutedApps_ = nullptr;
    QPushButton* addApps_ = nullptr;
    QPushButton* removeApp_ = nullptr;
};

}  // namespace tapwell::ui

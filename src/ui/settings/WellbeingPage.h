#pragma once
// Wellbeing: the break nudge and its minutes, the late-night hour, the wrap-up time, the daily
// keystroke limit, pausing nudges in meetings, and whether the desktop shows the notifications
// they arrive as (with a test notification to see for oneself).

#include "app/AppModel.h"
#include "ui/settings/SettingsForm.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimeEdit;

namespace tapwell::ui {

class WellbeingPage final : public SettingsPageView {
    Q_OBJECT

  public:
    explicit WellbeingPage(AppModel& model, QWidget* parent = nullptr);
    void retranslate() override;

  private:
    void showValues();
    void showNotifications();
    void applyLocale();

    AppModel& model_;
    QLabel* nudgesCaption_ = nullptr;
    QCheckBox* breakNudge_ = nullptr;
    QComboBox* breakMinutes_ = nullptr;
    QLabel* breakNote_ = nullptr;
    QCheckBox* lateNight_ = nullptr;
    QTimeEdit* lateTime_ = nullptr;
    QLabel* lateNote_ = nullptr;
    QCheckBox* wrapUp_ = nullptr;
    QTimeEdit* wrapTime_ = nullptr;
    QLabel* wrapNote_ = nullptr;
    QCheckBox* dailyLimit_ = nullptr;
    QSpinBox* dailyKeystrokes_ = nullptr;
    QLabel* dailyNote_ = nullptr;
    QCheckBox* pauseInMeetings_ = nullptr;
    QLabel* pauseNote_ = nullptr;
    QLabel* notificationsCaption_ = nullptr;
    QLabel* notificationStatus_ = nullptr;
    QLabel* notificationDetail_ = nullptr;
    QPushButton* testNotification_ = nullptr;
};

}  // namespace tapwell::ui

#include "ui/settings/WellbeingPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimeEdit>

#include "presentation/PluralText.h"
#include "ui/common/Look.h"

namespace tapwell::ui {

namespace {

constexpr std::int64_t breakChoices[] = {30, 45, 60, 90};
constexpr int maximumDailyKeystrokes = 1'000'000;
constexpr int minutesPerDay = 24 * 60;

QTime timeOfMinute(std::int64_t minute) {
    const auto clamped = static_cast<int>(std::clamp<std::int64_t>(minute, 0, minutesPerDay - 1));
    return QTime(clamped / 60, clamped % 60);
}

std::int64_t minuteOfTime(QTime time) {
    return time.hour() * 60 + time.minute();
}

QTimeEdit* makeTimeEdit(const char* name) {
    auto* edit = new QTimeEdit;
    edit->setObjectName(QString::fromLatin1(name));
    // Typing "2" on the way to "23" must not become a setting.
    edit->setKeyboardTracking(false);
    edit->setWrapping(true);
    return edit;
}

}  // namespace

WellbeingPage::WellbeingPage(AppModel& model, QWidget* parent)
    : SettingsPageView(parent), model_(model) {
    SettingsGroup* nudges = addSection(nudgesCaption_, "nudgesCaption");

    breakNudge_ = makeSwitch(nullptr, "breakNudge");
    breakMinutes_ = new QComboBox;
    breakMinutes_->setObjectName(QStringLiteral("breakMinutes"));
    for (const std::int64_t minutes : breakChoices) {
        breakMinutes_->addItem(QString(), QVariant::fromValue<qlonglong>(minutes));
    }
    breakNote_ = makeNote(nullptr, "breakNote");
    auto* breakRow = new SettingsRow(breakNudge_);
    breakRow->addTrailing(breakMinutes_);
    breakRow->addNote(breakNote_);
    nudges->addRow(breakRow);
    connect(breakNudge_, &QCheckBox::clicked, this, [this](bool on) {
        model_.updatePreferences([on](AppPreferences& p) { p.breakNudge = on; });
    });
    connect(breakMinutes_, &QComboBox::activated, this, [this](int index) {
        const auto minutes = breakMinutes_->itemData(index).toLongLong();
        model_.updatePreferences([minutes](AppPreferences& p) { p.breakMinutes = minutes; });
    });

    lateNight_ = makeSwitch(nullptr, "lateNight");
    lateTime_ = makeTimeEdit("lateTime");
    lateNote_ = makeNote(nullptr, "lateNote");
    auto* lateRow = new SettingsRow(lateNight_);
    lateRow->addTrailing(lateTime_);
    lateRow->addNote(lateNote_);
    nudges->addRow(lateRow);
    connect(lateNight_, &QCheckBox::clicked, this, [this](bool on) {
        model_.updatePreferences([on](AppPreferences& p) { p.lateNight = on; });
    });
    connect(lateTime_, &QTimeEdit::timeChanged, this, [this](QTime time) {
        model_.updatePreferences([time](AppPreferences& p) { p.lateMinute = minuteOfTime(time); });
    });

    wrapUp_ = makeSwitch(nullptr, "wrapUp");
    wrapTime_ = makeTimeEdit("wrapTime");
    wrapNote_ = makeNote(nullptr, "wrapNote");
    auto* wrapRow = new SettingsRow(wrapUp_);
    wrapRow->addTrailing(wrapTime_);
    wrapRow->addNote(wrapNote_);
    nudges->addRow(wrapRow);
    connect(wrapUp_, &QCheckBox::clicked, this, [this](bool on) {
        model_.updatePreferences([on](AppPreferences& p) { p.wrapUp = on; });
    });
    connect(wrapTime_, &QTimeEdit::timeChanged, this, [this](QTime time) {
        model_.updatePreferences([time](AppPreferences& p) { p.wrapMinute = minuteOfTime(time); });
    });

    dailyLimit_ = makeSwitch(nullptr, "dailyLimit");
    dailyKeystrokes_ = new QSpinBox;
    dailyKeystrokes_->setObjectName(QStringLiteral("dailyKeystrokes"));
    dailyKeystrokes_->setRange(1, maximumDailyKeystrokes);
    dailyKeystrokes_->setSingleStep(1000);
    dailyKeystrokes_->setGroupSeparatorShown(true);
    dailyKeystrokes_->setKeyboardTracking(false);
    dailyKeystrokes_->setMinimumWidth(110);
    dailyNote_ = makeNote(nullptr, "dailyNote");
    auto* dailyRow = new SettingsRow(dailyLimit_);
    dailyRow->addTrailing(dailyKeystrokes_);
    dailyRow->addNote(dailyNote_);
    nudges->addRow(dailyRow);
    connect(dailyLimit_, &QCheckBox::clicked, this, [this](bool on) {
        model_.updatePreferences([on](AppPreferences& p) { p.dailyLimit = on; });
    });
    connect(dailyKeystrokes_, &QSpinBox::valueChanged, this, [this](int value) {
        model_.updatePreferences([value](AppPreferences& p) { p.dailyKeystrokes = value; });
    });

    pauseInMeetings_ = makeSwitch(nullptr, "pauseInMeetings");
    pauseNote_ = makeNote(nullptr, "pauseNote");
    auto* pauseRow = new SettingsRow(pauseInMeetings_);
    pauseRow->addNote(pauseNote_);
    nudges->addRow(pauseRow);
    connect(pauseInMeetings_, &QCheckBox::clicked, this, [this](bool on) {
        model_.updatePreferences([on](AppPreferences& p) { p.pauseInMeetings = on; });
    });

    SettingsGroup* notifications = addSection(notificationsCaption_, "notificationsCaption");
    notificationStatus_ = new QLabel;
    notificationStatus_->setObjectName(QStringLiteral("notificationStatus"));
    notificationStatus_->setWordWrap(true);
    notificationDetail_ = makeNote(nullptr, "notificationDetail");
    testNotification_ = makeButton(nullptr, "testNotification");
    connect(testNotification_, &QPushButton::clicked, this,
            [this] { model_.sendTestNotification(); });
    auto* notificationRow = new SettingsRow(notificationStatus_);
    notificationRow->addTrailing(testNotification_);
    notificationRow->addNote(notificationDetail_);
    notifications->addRow(notificationRow);
    finish();

    connect(&model_, &AppModel::preferencesChanged, this, &WellbeingPage::showValues);
    connect(&model_, &AppModel::notificationStatusChanged, this, &WellbeingPage::showNotifications);
}

void WellbeingPage::applyLocale() {
    const QLocale locale(qstr(model_.state().localization().localeIdentifier()));
    for (QTimeEdit* edit : {lateTime_, wrapTime_}) {
        edit->setLocale(locale);
        edit->setDisplayFormat(locale.timeFormat(QLocale::ShortFormat));
    }
    dailyKeystrokes_->setLocale(locale);
}

void WellbeingPage::retranslate() {
    const Localization& localization = model_.state().localization();
    title()->setText(model_.text("settings.page.wellbeing"));
    nudgesCaption_->setText(model_.text("settings.wellbeing.nudgesCaption"));
    breakNudge_->setText(model_.text("settings.wellbeing.breakNudge"));
    for (int i = 0; i < breakMinutes_->count(); ++i) {
        breakMinutes_->setItemText(i, qstr(pluralText(localization, "settings.wellbeing.minutes",
                                                      breakMinutes_->itemData(i).toLongLong())));
    }
    breakMinutes_->setAccessibleName(model_.text("settings.wellbeing.breakMinutes"));
    breakNote_->setText(model_.text("settings.wellbeing.breakNote"));
    lateNight_->setText(model_.text("settings.wellbeing.lateNight"));
    lateTime_->setAccessibleName(model_.text("settings.wellbeing.lateTime"));
    lateNote_->setText(model_.text("settings.wellbeing.lateNote"));
    wrapUp_->setText(model_.text("settings.wellbeing.wrapUp"));
    wrapTime_->setAccessibleName(model_.text("settings.wellbeing.wrapTime"));
    wrapNote_->setText(model_.text("settings.wellbeing.wrapNote"));
    dailyLimit_->setText(model_.text("settings.wellbeing.dailyLimit"));
    dailyKeystrokes_->setAccessibleName(model_.text("settings.wellbeing.dailyKeystrokes"));
    dailyNote_->setText(model_.text("settings.wellbeing.dailyNote"));
    pauseInMeetings_->setText(model_.text("settings.wellbeing.pauseInMeetings"));
    pauseNote_->setText(model_.text("settings.wellbeing.pauseNote"));
    notificationsCaption_->setText(model_.text("settings.wellbeing.notificationsCaption"));
    testNotification_->setText(model_.text("settings.wellbeing.testNotification"));
    testNotification_->setAccessibleName(testNotification_->text());
    applyLocale();
    showValues();
    showNotifications();
}

void WellbeingPage::showValues() {
    const AppPreferences& preferences = model_.state().preferences();
    breakNudge_->setChecked(preferences.breakNudge);
    lateNight_->setChecked(preferences.lateNight);
    wrapUp_->setChecked(preferences.wrapUp);
    dailyLimit_->setChecked(preferences.dailyLimit);
    pauseInMeetings_->setChecked(preferences.pauseInMeetings);
    {
        const QSignalBlocker quietMinutes(breakMinutes_);
        const QSignalBlocker quietLate(lateTime_);
        const QSignalBlocker quietWrap(wrapTime_);
        const QSignalBlocker quietDaily(dailyKeystrokes_);
        breakMinutes_->setCurrentIndex(
            breakMinutes_->findData(QVariant::fromValue<qlonglong>(preferences.breakMinutes)));
        lateTime_->setTime(timeOfMinute(preferences.lateMinute));
        wrapTime_->setTime(timeOfMinute(preferences.wrapMinute));
        dailyKeystrokes_->setValue(static_cast<int>(
            std::clamp<std::int64_t>(preferences.dailyKeystrokes, 1, maximumDailyKeystrokes)));
    }
    breakMinutes_->setEnabled(preferences.breakNudge);
    lateTime_->setEnabled(preferences.lateNight);
    wrapTime_->setEnabled(preferences.wrapUp);
    dailyKeystrokes_->setEnabled(preferences.dailyLimit);
}

void WellbeingPage::showNotifications() {
    const NotificationStatus status = model_.state().notificationStatus();
    const char* headline = "settings.wellbeing.notifications.checking";
    const char* detail = "settings.wellbeing.notifications.checkingDetail";
    switch (status.authorization) {
        case NotificationAuthorization::authorized:
            headline = "settings.wellbeing.notifications.on";
            detail = status.actionsAvailable ? "settings.wellbeing.notifications.onDetail"
                                             : "settings.wellbeing.notifications.noActions";
            break;
        case NotificationAuthorization::denied:
            headline = "settings.wellbeing.notifications.noServer";
            detail = "settings.wellbeing.notifications.noServerDetail";
            break;
        case NotificationAuthorization::notDetermined:
            break;
    }
    notificationStatus_->setText(model_.text(headline));
    notificationDetail_->setText(model_.text(detail));
    testNotification_->setEnabled(status.authorization == NotificationAuthorization::authorized);
    testNotification_->setAccessibleDescription(notificationStatus_->text());
}

}  // namespace tapwell::ui

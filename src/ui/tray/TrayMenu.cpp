#include "ui/tray/TrayMenu.h"

#include <QAction>

#include <cmath>

#include "ui/common/Look.h"

namespace tapwell::ui {

namespace {

QAction* addEntry(QMenu& menu, const char* name, std::function<void()> command) {
    QAction* action = menu.addAction(QString());
    action->setObjectName(QString::fromLatin1(name));
    QObject::connect(action, &QAction::triggered, &menu,
                     [command = std::move(command)] { command(); });
    return action;
}

}  // namespace

std::int64_t muteMinutesLeft(const StateView& state) {
    const auto minutes = static_cast<std::int64_t>(std::ceil(state.remainingMuteSeconds() / 60.0));
    return std::max<std::int64_t>(1, minutes);
}

TrayMenu::TrayMenu(AppModel& model, QWidget* parent) : QMenu(parent), model_(model) {
    setObjectName(QStringLiteral("trayMenu"));
    mute_ = addEntry(*this, "mute", [this] { model_.toggleMute(); });
    pauseNudges_ = addEntry(*this, "pauseNudges", [this] { model_.toggleWellbeingPause(); });
    addSeparator();
    settings_ = addEntry(*this, "settings", [this] { model_.openSettings(); });
    recap_ = addEntry(*this, "recap", [this] { model_.openRecap(); });
    addSeparator();
    quit_ = addEntry(*this, "quit", [this] { model_.quit(); });
    settings_->setMenuRole(QAction::PreferencesRole);
    quit_->setMenuRole(QAction::QuitRole);

    connect(this, &QMenu::aboutToShow, this, &TrayMenu::refresh);
    for (auto signal : {&AppModel::soundChanged, &AppModel::nowChanged,
                        &AppModel::wellbeingStatusChanged, &AppModel::localizationChanged}) {
        connect(&model_, signal, this, &TrayMenu::refresh);
    }
    refresh();
}

void TrayMenu::refresh() {
    const StateView& state = model_.state();
    const Localization& localization = state.localization();
    if (state.isMuted()) {
        mute_->setText(qstr(localization.format("tray.unmute", {muteMinutesLeft(state)})));
    } else {
        mute_->setText(model_.text("tray.mute"));
    }
    pauseNudges_->setText(model_.text(state.wellbeingStatus().pausedUntil ? "tray.resumeNudges"
                                                                          : "tray.pauseNudges"));
    recap_->setText(model_.text("tray.recap"));
    settings_->setText(model_.text("tray.settings"));
    quit_->setText(model_.text("tray.quit"));
    setTitle(model_.text("app.name"));
}

}  // namespace tapwell::ui

#pragma once
// The tray item's menu (right click): mute for an hour or unmute (with the minutes left), pause
// or resume the break nudges, settings, today's recap and quit. Texts follow the interface
// language; every entry calls one command of the model. Main thread only.

#include <QMenu>

#include "app/AppModel.h"

class QAction;

namespace tapwell::ui {

// The whole minutes a running mute has left, rounded up (at least 1 while it runs).
std::int64_t muteMinutesLeft(const StateView& state);

class TrayMenu final : public QMenu {
    Q_OBJECT

  public:
    explicit TrayMenu(AppModel& model, QWidget* parent = nullptr);

    // Brings the texts up to date with the state (also done before each showing).
    void refresh();

  private:
    AppModel& model_;
    QAction* mute_ = nullptr;
    QAction* pauseNudges_ = nullptr;
    QAction* settings_ = nullptr;
    QAction* recap_ = nullptr;
    QAction* quit_ = nullptr;
};

}  // namespace tapwell::ui

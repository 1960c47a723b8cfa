#pragma once
// The program's tray item: binds the keycap icon, the count label and the menu to the model and
// shows them on whichever tray the desktop has. A StatusNotifierItem host comes first (it can
// show the count as a label beside the icon); without one, an X11 system tray shows the icon with
// the count drawn into it; with neither, the program says once how to reach its settings. A tray
// that appears later (a panel started after the program) is taken up when it does. Hosts that
// draw no label still show the count in the tool tip. Main thread only.

#include <QDBusConnection>
#include <QObject>
#include <QPoint>

#include <functional>
#include <memory>
#include <optional>

#include "app/AppModel.h"
#include "ui/tray/MenuBarIcon.h"
#include "ui/tray/MenuBarLabel.h"
#include "ui/tray/TrayMenu.h"

class QSystemTrayIcon;

namespace tapwell {
class StatusNotifierItem;
}

namespace tapwell::ui {

class TrayController final : public QObject {
    Q_OBJECT

  public:
    enum class Host { undecided, statusNotifier, systemTray, none };

    // The application id names the item to hosts.
    static constexpr const char* itemId = "com.tapwell.Tapwell";

    // A left click on the item, with its position on the screen when the host gave one. Unset,
    // the click shows the menu.
    std::function<void(std::optional<QPoint>)> onActivate;

    explicit TrayController(AppModel& model, QDBusConnection bus = QDBusConnection::sessionBus(),
                            QObject* parent = nullptr);
    ~TrayController() override;

    // Puts the item on the desktop's tray; call once.
    void start();

    Host host() const { return host_; }
    TrayMenu& menu() { return menu_; }
    const MenuBarLabel& label() const { return label_; }
    StatusNotifierItem& statusNotifierItem() { return *item_; }
    // The X11 tray's icon, once that tray was used.
    QSystemTrayIcon* systemTrayIcon() { return trayIcon_.get(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void chooseHost();
    void refreshLabel();
    void refreshIcon();
    void refreshToolTip();
    void activate(std::optional<QPoint> at);
    void showMenu(std::optional<QPoint> at);
    MenuBarIcon::Look look() const;

    AppModel& model_;
    MenuBarLabel label_;
    TrayMenu menu_;
    std::unique_ptr<StatusNotifierItem> item_;
    std::unique_ptr<QSystemTrayIcon> trayIcon_;
    Host host_ = Host::undecided;
    bool started_ = false;
    bool saidNoTray_ = false;
    std::optional<MenuBarIcon::Look> itemLook_;
    std::optional<std::pair<MenuBarIcon::Look, QString>> trayIconLook_;
};

}  // namespace tapwell::ui

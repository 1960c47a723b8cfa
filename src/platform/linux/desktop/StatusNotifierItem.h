#pragma once
// The program's tray item on desktops that speak the StatusNotifierItem protocol over D-Bus (KDE
// Plasma, GNOME with the AppIndicator extension, Ayatana and most other panels of today). It owns
// the name "org.kde.StatusNotifierItem-<pid>-<n>", exports the item at /StatusNotifierItem,
// registers it with the desktop's org.kde.StatusNotifierWatcher and registers again whenever the
// watcher's name reappears (a restarted panel forgets every item).
//
// It knows nothing of what the program shows: its owner gives it the icon images, the texts and
// the label, and hears about clicks through the `on...` callbacks. The item exports no menu
// (`Menu` is "/NO_DBUSMENU", `ItemIsMenu` false), so hosts ask for one with ContextMenu(x, y) and
// the owner shows its own. Main thread only.

#include <QDBusConnection>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

#include "platform/linux/desktop/StatusNotifierItemTypes.h"

class QDBusServiceWatcher;

namespace tapwell {

class StatusNotifierItemAdaptor;

class StatusNotifierItem final : public QObject {
    Q_OBJECT

  public:
    static constexpr const char* watcherService = "org.kde.StatusNotifierWatcher";
    static constexpr const char* watcherPath = "/StatusNotifierWatcher";
    static constexpr const char* watcherInterface = "org.kde.StatusNotifierWatcher";
    static constexpr const char* itemPath = "/StatusNotifierItem";
    static constexpr const char* itemInterface = "org.kde.StatusNotifierItem";

    // A click's position in screen coordinates; none when the host sent (0, 0), which hosts
    // without a position send.
    using Position = std::optional<QPoint>;

    // A primary (left) click.
    std::function<void(Position)> onActivate;
    // A middle click.
    std::function<void(Position)> onSecondaryActivate;
    // A request for the item's menu (right click).
    std::function<void(Position)> onContextMenu;
    // Called when `isShown()` or `isRegistering()` changed.
    std::function<void()> onStateChanged;

    // `id` names the application ("com.example.App"); `bus` is the session bus to use.
    StatusNotifierItem(QString id, QDBusConnection bus, QObject* parent = nullptr);
    ~StatusNotifierItem() override;
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    // Claims the name, exports the item and registers it with the watcher when there is one (now
    // or later). False when the bus is not connected or the name or the object path is taken;
    // the item is then never shown.
    bool start();

    // True while a watcher with a host has the item registered.
    bool isShown() const { return shown_; }
    // True while the registration call to the watcher has not been answered.
    bool isRegistering() const { return pendingRegistration_ != 0; }
    const QString& serviceName() const { return serviceName_; }

    // What hosts show. Each setter tells hosts only when the value changed.
    void setTitle(const QString& title);
    // The icon, one image per size offered.
    void setIcon(const std::vector<QImage>& images);
    void setToolTip(const QString& title, const QString& text);
    // The text next to the icon (Ayatana hosts and GNOME's AppIndicator extension draw it); an
    // empty label shows none. `guide` is the widest text the label is expected to take, so the
    // host can reserve its width.
    void setLabel(const QString& label, const QString& guide);

    const QString& id() const { return id_; }
    const QString& title() const { return title_; }
    const SniPixmapList& iconPixmaps() const { return icon_; }
    const SniToolTip& toolTip() const { return toolTip_; }
    const QString& label() const { return label_; }
    const QString& labelGuide() const { return labelGuide_; }

  private Q_SLOTS:
    void watcherOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);
    void hostRegistered();
    void hostUnregistered();

  private:
    friend class StatusNotifierItemAdaptor;

    void registerWithWatcher();
    void askForHost(quint64 generation);
    bool watcherOnBus() const;
    void update(bool registered, bool hostPresent, quint64 pending);
    void clicked(const std::function<void(Position)>& callback, int x, int y) const;

    QString id_;
    QDBusConnection bus_;
    QString serviceName_;
    StatusNotifierItemAdaptor* adaptor_ = nullptr;
    QDBusServiceWatcher* watcher_ = nullptr;
    bool started_ = false;
    // Each registration attempt has a number, so a late answer to an older one is ignored.
    quint64 generation_ = 0;
    quint64 pendingRegistration_ = 0;
    bool registered_ = false;
    bool hostPresent_ = false;
    bool shown_ = false;

    QString title_;
    SniPixmapList icon_;
    SniToolTip toolTip_;
    QString label_;
    QString labelGuide_;
};

}  // namespace tapwell

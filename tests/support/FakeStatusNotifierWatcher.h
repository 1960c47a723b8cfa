#pragma once
// A stand-in for the desktop's tray on a private bus: it owns org.kde.StatusNotifierWatcher on a
// connection of its own, records the items that register, and reads, watches and clicks them as a
// panel would. `stop()` and `start()` play a panel that exits and comes back.

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <QVariant>

#include <chrono>
#include <functional>

namespace tapwell::test {

class FakeStatusNotifierWatcher final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

  public:
    // Connects to the bus at `address`; `withHost` is what IsStatusNotifierHostRegistered says.
    explicit FakeStatusNotifierWatcher(const QString& address, bool withHost = true);
    ~FakeStatusNotifierWatcher() override;

    // Owns the watcher's name; false when the bus refused.
    bool start();
    // Gives the name up and forgets every item, as a panel that exits.
    void stop();

    QStringList registeredItems() const { return items_; }
    bool isHostRegistered() const { return withHost_; }
    int protocolVersion() const { return 0; }
    // Every registration received since construction, in order.
    const QStringList& registrations() const { return registrations_; }

    // A property of the item registered as `service` (its reply's value; QDBusArgument for
    // structures); invalid when the call failed.
    QVariant itemProperty(const QString& service, const QString& name);
    // Calls a method of the item; false when the call failed.
    bool callItem(const QString& service, const QString& method, const QVariantList& arguments);

    // The item signals seen: each XAyatanaNewLabel's label, and the counts of the others.
    QStringList labelSignals;
    int iconSignals = 0;
    int toolTipSignals = 0;
    int titleSignals = 0;

  public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service);
    void RegisterStatusNotifierHost(const QString& service);

  Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();

  private Q_SLOTS:
    void newLabel(const QString& label, const QString& guide);
    void newIcon() { ++iconSignals; }
    void newToolTip() { ++toolTipSignals; }
    void newTitle() { ++titleSignals; }

  private:
    QString connectionName_;
    QDBusConnection bus_;
    bool withHost_;
    bool started_ = false;
    QStringList items_;
    QStringList registrations_;
};

// Runs the Qt event loop until `done` holds or `timeout` has passed; returns `done()`.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace tapwell::test

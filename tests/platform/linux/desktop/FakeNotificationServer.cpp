// A notification server for the tests: owns org.freedesktop.Notifications on the bus of
// DBUS_SESSION_BUS_ADDRESS (the test's private one), keeps every notification it is given, and
// lets the test press buttons. With --no-actions it says it shows none, with --markup that it reads
// bodies as markup, and with --silent it never answers a call.
//
// The test reads and drives it through /control, interface com.tapwell.FakeNotifications:
// Posted() gives one JSON object per notification; Invoke(id, key) sends ActionInvoked.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <cstdio>

namespace {

class Server final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

  public:
    Server(bool actions, bool markup, bool silent)
        : actions_(actions), markup_(markup), silent_(silent) {}
    QStringList posted;

  public Q_SLOTS:
    QStringList GetCapabilities() {
        if (silent_) {
            setDelayedReply(true);  // and never reply
            return {};
        }
        QStringList capabilities{QStringLiteral("body")};
        if (actions_) {
            capabilities << QStringLiteral("actions");
        }
        if (markup_) {
            capabilities << QStringLiteral("body-markup");
        }
        return capabilities;
    }
    uint Notify(const QString& appName, uint replacesID, const QString& icon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int timeout) {
        if (silent_) {
            setDelayedReply(true);
        }
        const uint id = ++lastID_;
        QJsonObject record{
            {"id", static_cast<qint64>(id)},
            {"app", appName},
            {"replaces", static_cast<qint64>(replacesID)},
            {"icon", icon},
            {"title", summary},
            {"body", body},
            {"actions", QJsonArray::fromStringList(actions)},
            {"desktopEntry", hints.value(QStringLiteral("desktop-entry")).toString()},
            {"timeout", timeout}};
        posted << QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact));
        return id;
    }
    void CloseNotification(uint id) { Q_EMIT NotificationClosed(id, 3); }
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion) {
        vendor = QStringLiteral("tapwell tests");
        version = QStringLiteral("1");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("fake");
    }

  Q_SIGNALS:
    void ActionInvoked(uint id, const QString& key);
    void NotificationClosed(uint id, uint reason);

  private:
    bool actions_;
    bool markup_;
    bool silent_;
    uint lastID_ = 0;
};

class Control final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.tapwell.FakeNotifications")

  public:
    explicit Control(Server& server) : server_(server) {}

  public Q_SLOTS:
    QStringList Posted() { return server_.posted; }
    void Invoke(uint id, const QString& key) { Q_EMIT server_.ActionInvoked(id, key); }

  private:
    Server& server_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    Server server(!arguments.contains(QStringLiteral("--no-actions")),
                  arguments.contains(QStringLiteral("--markup")),
                  arguments.contains(QStringLiteral("--silent")));
    Control control(server);
    QDBusConnection bus = QDBusConnection::sessionBus();
    const auto exported = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals;
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server, exported) ||
        !bus.registerObject(QStringLiteral("/control"), &control, exported) ||
        !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
        std::fprintf(stderr, "fake notification server: %s\n",
                     bus.lastError().message().toUtf8().constData());
        return 1;
    }
    return QCoreApplication::exec();
}

#include "FakeNotificationServer.moc"

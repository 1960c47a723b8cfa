#include "support/FakeStatusNotifierWatcher.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <atomic>

namespace tapwell::test {

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString itemPath = QStringLiteral("/StatusNotifierItem");
const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");

QString nextConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("fake-status-notifier-watcher-%1").arg(++counter);
}

}  // namespace

FakeStatusNotifierWatcher::FakeStatusNotifierWatcher(const QString& address, bool withHost)
    : connectionName_(nextConnectionName()),
      bus_(QDBusConnection::connectToBus(address, connectionName_)),
      withHost_(withHost) {
    for (const auto& [signal, slot] :
         {std::pair{"XAyatanaNewLabel", SLOT(newLabel(QString, QString))},
          std::pair{"NewIcon", SLOT(newIcon())}, std::pair{"NewToolTip", SLOT(newToolTip())},
          std::pair{"NewTitle", SLOT(newTitle())}}) {
        bus_.connect(QString(), itemPath, itemInterface, QString::fromLatin1(signal), this, slot);
    }
}

FakeStatusNotifierWatcher::~FakeStatusNotifierWatcher() {
    stop();
    QDBusConnection::disconnectFromBus(connectionName_);
}

bool FakeStatusNotifierWatcher::start() {
    if (started_) {
        return true;
    }
    if (!bus_.registerObject(watcherPath, this,
                             QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                 QDBusConnection::ExportAllProperties)) {
        return false;
    }
    if (!bus_.registerService(watcherService)) {
        bus_.unregisterObject(watcherPath);
        return false;
    }
    started_ = true;
    return true;
}

void FakeStatusNotifierWatcher::stop() {
    if (!started_) {
        return;
    }
    bus_.unregisterService(watcherService);
    bus_.unregisterObject(watcherPath);
    items_.clear();
    started_ = false;
}

void FakeStatusNotifierWatcher::RegisterStatusNotifierItem(const QString& service) {
    registrations_.append(service);
    if (!items_.contains(service)) {
        items_.append(service);
    }
    Q_EMIT StatusNotifierItemRegistered(service);
}

void FakeStatusNotifierWatcher::RegisterStatusNotifierHost(const QString&) {
    withHost_ = true;
    Q_EMIT StatusNotifierHostRegistered();
}

QVariant FakeStatusNotifierWatcher::itemProperty(const QString& service, const QString& name) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        service, itemPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << itemInterface << name;
    // The item may live in this process: wait with the event loop running.
    const QDBusMessage reply = bus_.call(get, QDBus::BlockWithGui, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {};
    }
    return reply.arguments().first().value<QDBusVariant>().variant();
}

bool FakeStatusNotifierWatcher::callItem(const QString& service, const QString& method,
                                         const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(service, itemPath, itemInterface, method);
    call.setArguments(arguments);
    const QDBusMessage reply = bus_.call(call, QDBus::BlockWithGui, 5000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

void FakeStatusNotifierWatcher::newLabel(const QString& label, const QString&) {
    labelSignals.append(label);
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    if (done()) {
        return true;
    }
    const QDeadlineTimer deadline(timeout);
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired()) {
            loop.quit();
        }
    });
    poll.start();
    loop.exec();
    return done();
}

}  // namespace tapwell::test

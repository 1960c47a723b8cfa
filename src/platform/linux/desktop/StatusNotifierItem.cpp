#include "platform/linux/desktop/StatusNotifierItem.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

#include <atomic>

#include "core/Log.h"
#include "platform/linux/desktop/StatusNotifierItemAdaptor.h"

namespace tapwell {

namespace {

// Items of one process are numbered so that each owns a name of its own.
QString nextServiceName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
        .arg(QCoreApplication::applicationPid())
        .arg(++counter);
}

}  // namespace

StatusNotifierItem::StatusNotifierItem(QString id, QDBusConnection bus, QObject* parent)
    : QObject(parent), id_(std::move(id)), bus_(std::move(bus)), serviceName_(nextServiceName()) {
    registerStatusNotifierTypes();
    adaptor_ = new StatusNotifierItemAdaptor(*this);
}

StatusNotifierItem::~StatusNotifierItem() {
    if (started_) {
        // Releasing the name is how the watcher learns that the item is gone.
        bus_.unregisterObject(QString::fromLatin1(itemPath));
        bus_.unregisterService(serviceName_);
    }
}

bool StatusNotifierItem::start() {
    if (started_) {
        return true;
    }
    if (!bus_.isConnected()) {
        logger(LogCategory::startup).info("Tray item: no session bus");
        return false;
    }
    if (!bus_.registerService(serviceName_)) {
        logger(LogCategory::startup)
            .warn("Tray item: cannot own {}: {}", serviceName_.toStdString(),
                  bus_.lastError().message().toStdString());
        return false;
    }
    if (!bus_.registerObject(QString::fromLatin1(itemPath), this,
                             QDBusConnection::ExportAdaptors)) {
        logger(LogCategory::startup).warn("Tray item: cannot export {}", itemPath);
        bus_.unregisterService(serviceName_);
        return false;
    }
    started_ = true;

    const QString watcherName = QString::fromLatin1(watcherService);
    watcher_ =
        new QDBusServiceWatcher(watcherName, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &StatusNotifierItem::watcherOwnerChanged);
    const QString path = QString::fromLatin1(watcherPath);
    const QString interface = QString::fromLatin1(watcherInterface);
    bus_.connect(watcherName, path, interface, QStringLiteral("StatusNotifierHostRegistered"), this,
                 SLOT(hostRegistered()));
    bus_.connect(watcherName, path, interface, QStringLiteral("StatusNotifierHostUnregistered"),
                 this, SLOT(hostUnregistered()));
    if (watcherOnBus()) {
        registerWithWatcher();
    }
    return true;
}

bool StatusNotifierItem::watcherOnBus() const {
    const auto* interface = bus_.interface();
    return interface != nullptr &&
           interface->isServiceRegistered(QString::fromLatin1(watcherService)).value();
}

void StatusNotifierItem::watcherOwnerChanged(const QString&, const QString&,
                                             const QString& newOwner) {
    update(false, false, 0);
    if (!newOwner.isEmpty()) {
        registerWithWatcher();
    }
}

void StatusNotifierItem::registerWithWatcher() {
    const quint64 generation = ++generation_;
    update(registered_, hostPresent_, generation);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(watcherService), QString::fromLatin1(watcherPath),
        QString::fromLatin1(watcherInterface), QStringLiteral("RegisterStatusNotifierItem"));
    call << serviceName_;
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, generation](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (generation != generation_) {
                    return;
                }
                if (finished->isError()) {
                    logger(LogCategory::startup)
                        .warn("Tray item: the watcher refused the item: {}",
                              finished->error().message().toStdString());
                    update(false, false, 0);
                    return;
                }
                // Still "registering" until the watcher said whether a host draws the item.
                registered_ = true;
                askForHost(generation);
            });
}

void StatusNotifierItem::askForHost(quint64 generation) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        QString::fromLatin1(watcherService), QString::fromLatin1(watcherPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QString::fromLatin1(watcherInterface)
        << QStringLiteral("IsStatusNotifierHostRegistered");
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, generation](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (generation != generation_ || !registered_) {
                    return;
                }
                const QDBusPendingReply<QDBusVariant> reply = *finished;
                // A watcher that cannot say is taken to have a host: hiding the item would be
                // worse than showing it where nobody draws it.
                update(true, reply.isError() || reply.value().variant().toBool(), 0);
            });
}

void StatusNotifierItem::hostRegistered() {
    update(registered_, true, pendingRegistration_);
}

void StatusNotifierItem::hostUnregistered() {
    // The signal does not say whether another host remains.
    if (registered_) {
        askForHost(generation_);
    }
}

void StatusNotifierItem::update(bool registered, bool hostPresent, quint64 pending) {
    registered_ = registered;
    hostPresent_ = hostPresent;
    const bool wasShown = shown_;
    const bool wasRegistering = pendingRegistration_ != 0;
    pendingRegistration_ = pending;
    shown_ = registered_ && hostPresent_;
    if ((shown_ != wasShown || (pending != 0) != wasRegistering) && onStateChanged) {
        onStateChanged();
    }
}

void StatusNotifierItem::clicked(const std::function<void(Position)>& callback, int x,
                                 int y) const {
    if (!callback) {
        return;
    }
    callback(x == 0 && y == 0 ? Position{} : Position{QPoint(x, y)});
}

void StatusNotifierItem::setTitle(const QString& title) {
    if (title_ == title) {
        return;
    }
    title_ = title;
    Q_EMIT adaptor_->NewTitle();
}

void StatusNotifierItem::setIcon(const std::vector<QImage>& images) {
    SniPixmapList pixmaps;
    pixmaps.reserve(static_cast<qsizetype>(images.size()));
    for (const QImage& image : images) {
        pixmaps.append(toSniPixmap(image));
    }
    if (icon_ == pixmaps) {
        return;
    }
    icon_ = std::move(pixmaps);
    Q_EMIT adaptor_->NewIcon();
}

void StatusNotifierItem::setToolTip(const QString& title, const QString& text) {
    if (toolTip_.title == title && toolTip_.text == text) {
        return;
    }
    toolTip_.title = title;
    toolTip_.text = text;
    Q_EMIT adaptor_->NewToolTip();
}

void StatusNotifierItem::setLabel(const QString& label, const QString& guide) {
    if (label_ == label && labelGuide_ == guide) {
        return;
    }
    label_ = label;
    labelGuide_ = guide;
    Q_EMIT adaptor_->XAyatanaNewLabel(label_, labelGuide_);
}

}  // namespace tapwell

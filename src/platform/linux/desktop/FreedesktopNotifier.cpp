#include "platform/linux/desktop/FreedesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace tapwell {

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");
// A server that does not answer within this time counts as absent.
constexpr int callTimeoutMs = 5000;

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

FreedesktopNotifier::FreedesktopNotifier(QDBusConnection bus, QString iconName, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), iconName_(std::move(iconName)) {
    bus_.connect(service, path, interface, QStringLiteral("ActionInvoked"), this,
                 SLOT(actionInvoked(uint, QString)));
}

FreedesktopNotifier::~FreedesktopNotifier() {
    bus_.disconnect(service, path, interface, QStringLiteral("ActionInvoked"), this,
                    SLOT(actionInvoked(uint, QString)));
}

void FreedesktopNotifier::queryCapabilities(std::function<void(Capabilities)> done) {
    auto message =
        QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("GetCapabilities"));
    // Without a bus the call fails at once; the watcher still answers on the next loop turn.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, done = std::move(done)](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<QStringList> reply = *call;
                Capabilities capabilities;
                if (!reply.isError()) {
                    const QStringList list = reply.value();
                    capabilities.reachable = true;
                    capabilities.actions = list.contains(QStringLiteral("actions"));
                    bodyMarkup_ = list.contains(QStringLiteral("body-markup"));
                }
                done(capabilities);
            });
}

void FreedesktopNotifier::post(const Notification& notification,
                               std::function<void(std::optional<NotificationID>)> done) {
    QStringList actions;
    for (const auto& [key, title] : notification.actions) {
        actions << fromUtf8(key) << fromUtf8(title);
    }
    QString body = fromUtf8(notification.body);
    if (bodyMarkup_) {
        body = body.toHtmlEscaped();
    }
    QVariantMap hints;
    if (!iconName_.isEmpty()) {
        hints.insert(QStringLiteral("desktop-entry"), iconName_);
    }
    auto message =
        QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Notify"));
    message << QStringLiteral("Tapwell") << uint{0} << iconName_ << fromUtf8(notification.title)
            << body << actions << hints << int{-1};
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [done = std::move(done)](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<uint> reply = *call;
                if (reply.isError()) {
                    done(std::nullopt);
                } else {
                    done(reply.value());
                }
            });
}

void FreedesktopNotifier::actionInvoked(uint id, const QString& key) {
    if (onAction) {
        onAction(id, key.toStdString());
    }
}

}  // namespace tapwell

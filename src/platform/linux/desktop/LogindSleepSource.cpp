#include "platform/linux/desktop/LogindSleepSource.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "core/Log.h"

namespace tapwell {

namespace {

const QString service = QStringLiteral("org.freedesktop.login1");
const QString path = QStringLiteral("/org/freedesktop/login1");
const QString interface = QStringLiteral("org.freedesktop.login1.Manager");

}  // namespace

LogindSleepSource::LogindSleepSource(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {}

LogindSleepSource::~LogindSleepSource() {
    stop();
}

void LogindSleepSource::start() {
    if (started_) {
        return;
    }
    if (!bus_.isConnected()) {
        logger(LogCategory::startup)
            .warn("No system bus: sleep and wake are not followed ({})",
                  bus_.lastError().message().toStdString());
        return;
    }
    started_ = true;
    bus_.connect(service, path, interface, QStringLiteral("PrepareForSleep"), this,
                 SLOT(prepareForSleep(bool)));
    takeLock();
}

void LogindSleepSource::stop() {
    if (!started_) {
        return;
    }
    started_ = false;
    ++generation_;
    bus_.disconnect(service, path, interface, QStringLiteral("PrepareForSleep"), this,
                    SLOT(prepareForSleep(bool)));
    lock_ = QDBusUnixFileDescriptor();
}

void LogindSleepSource::takeLock() {
    auto message =
        QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Inhibit"));
    message << QStringLiteral("sleep") << QStringLiteral("Tapwell")
            << QStringLiteral("Saving typing statistics") << QStringLiteral("delay");
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    const unsigned generation = ++generation_;
    requesting_ = true;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                requesting_ = false;
                const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *call;
                if (generation != generation_) {
                    return;  // sleep began or the source stopped meanwhile: the lock would leak
                }
                if (reply.isError()) {
                    logger(LogCategory::startup)
                        .warn("Sleep may come before the statistics are saved: {}",
                              reply.error().message().toStdString());
                    return;
                }
                lock_ = reply.value();
            });
}

void LogindSleepSource::prepareForSleep(bool start) {
    if (start) {
        ++generation_;
        if (onWillSleep) {
            onWillSleep();
        }
        // Closing our copy of the descriptor lets logind go on.
        lock_ = QDBusUnixFileDescriptor();
    } else {
        takeLock();
        if (onDidWake) {
            onDidWake();
        }
    }
}

}  // namespace tapwell

#pragma once
// Notifications through the freedesktop notification service (org.freedesktop.Notifications on
// the session bus): GetCapabilities tells whether a server runs and shows buttons, Notify posts,
// and the ActionInvoked signal, which servers send to every client, is passed on for the
// notification service to filter by its own ids. Calls are asynchronous; their
// answers and the signals arrive on the thread of this object (the main thread).

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include "presentation/Notifier.h"

namespace tapwell {

class FreedesktopNotifier final : public QObject, public Notifier {
    Q_OBJECT

  public:
    // `bus` is the session bus, or a private one in tests. `iconName` is the application's icon
    // and desktop-entry name.
    explicit FreedesktopNotifier(QDBusConnection bus, QString iconName = {},
                                 QObject* parent = nullptr);
    ~FreedesktopNotifier() override;

    void queryCapabilities(std::function<void(Capabilities)> done) override;
    void post(const Notification& notification,
              std::function<void(std::optional<NotificationID>)> done) override;

  private Q_SLOTS:
    void actionInvoked(uint id, const QString& key);

  private:
    QDBusConnection bus_;
    QString iconName_;
    // The last server said it reads the body as markup, so text must be escaped.
    bool bodyMarkup_ = false;
};

}  // namespace tapwell

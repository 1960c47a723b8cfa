#pragma once
// Sleep and wake from logind (org.freedesktop.login1 on the system bus). While awake the source
// holds a "delay" inhibitor lock, so that on PrepareForSleep(true) logind waits until the
// application has saved what it must; the lock is released as soon as that reaction returns, and
// taken again on wake. Without a system bus nothing is followed (said once in the log). Signals
// and answers arrive on the thread of this object (the main thread).

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>

#include "platform/DesktopServices.h"

namespace tapwell {

class LogindSleepSource final : public QObject, public SleepSource {
    Q_OBJECT

  public:
    // `bus` is the system bus, or a private one in tests.
    explicit LogindSleepSource(QDBusConnection bus, QObject* parent = nullptr);
    ~LogindSleepSource() override;

    void start() override;
    void stop() override;

    // The delay lock is held; a request for it is on its way (for tests).
    bool holdsLock() const { return lock_.isValid(); }
    bool requestingLock() const { return requesting_; }

  private Q_SLOTS:
    void prepareForSleep(bool start);

  private:
    void takeLock();

    QDBusConnection bus_;
    QDBusUnixFileDescriptor lock_;
    bool started_ = false;
    bool requesting_ = false;
    // Counts lock requests, so an answer that arrives after sleep began or after stop is dropped.
    unsigned generation_ = 0;
};

}  // namespace tapwell

// A logind for the tests: owns org.freedesktop.login1 on the bus of DBUS_SYSTEM_BUS_ADDRESS (the
// test's private one), hands out delay locks as pipes and notices when a holder closes one.
// argv[1] is a folder: when a lock is released, the number of ".json" files in it is noted, so a
// test can tell what was on disk at that moment.
//
// The test drives it through /control, interface com.tapwell.FakeLogin1: Emit(start) sends
// PrepareForSleep; Inhibitors() counts Inhibit calls; Held() counts locks not yet released;
// ReleasedWith() lists the file counts noted at each release.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QObject>
#include <QSocketNotifier>
#include <QStringList>

#include <unistd.h>

#include <cstdio>

namespace {

class Manager final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

  public:
    explicit Manager(QString folder) : folder_(std::move(folder)) {}
    int inhibitors = 0;
    int held = 0;
    QStringList releasedWith;

  public Q_SLOTS:
    QDBusUnixFileDescriptor Inhibit(const QString&, const QString&, const QString&,
                                    const QString&) {
        int fds[2];
        if (::pipe(fds) != 0) {
            return {};
        }
        ++inhibitors;
        ++held;
        auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier, fd = fds[0]] {
            // The only thing that makes the read end readable is the last write end closing.
            notifier->setEnabled(false);
            notifier->deleteLater();
            ::close(fd);
            --held;
            releasedWith << QString::number(
                QDir(folder_).entryList({QStringLiteral("*.json")}, QDir::Files).size());
        });
        QDBusUnixFileDescriptor lock(fds[1]);  // a duplicate goes to the caller
        ::close(fds[1]);
        return lock;
    }

  Q_SIGNALS:
    void PrepareForSleep(bool start);

  private:
    QString folder_;
};

class Control final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.tapwell.FakeLogin1")

  public:
    explicit Control(Manager& manager) : manager_(manager) {}

  public Q_SLOTS:
    void Emit(bool start) { Q_EMIT manager_.PrepareForSleep(start); }
    int Inhibitors() { return manager_.inhibitors; }
    int Held() { return manager_.held; }
    QStringList ReleasedWith() { return manager_.releasedWith; }

  private:
    Manager& manager_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Manager manager(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
    Control control(manager);
    QDBusConnection bus = QDBusConnection::systemBus();
    const auto exported = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals;
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager, exported) ||
        !bus.registerObject(QStringLiteral("/control"), &control, exported) ||
        !bus.registerService(QStringLiteral("org.freedesktop.login1"))) {
        std::fprintf(stderr, "fake login1: %s\n", bus.lastError().message().toUtf8().constData());
        return 1;
    }
    return QCoreApplication::exec();
}

#include "FakeLogin1.moc"

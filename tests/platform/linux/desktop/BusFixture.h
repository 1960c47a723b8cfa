#pragma once
// A Qt event loop and a private bus for the adapters' tests, with the fake servers of this folder
// started on it as child processes, and the main queue the adapters answer on, which the test
// pumps.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTest>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/MainQueue.h"
#include "support/ChildProcess.h"
#include "support/PrivateBus.h"

namespace tapwell::test {

// A pumped main queue that also tells how much was ever posted to it, so that a test can wait for
// an answer to be queued without running it.
class WatchedMainQueue final : public MainQueue {
  public:
    void post(std::function<void()> work) override {
        queue.post(std::move(work));
        const std::lock_guard lock(mutex_);
        ++posted_;
        changed_.notify_all();
    }
    // Waits (up to five seconds) until `count` pieces of work were posted in all.
    bool waitForPosted(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return posted_ >= count; });
    }
    std::size_t posted() {
        const std::lock_guard lock(mutex_);
        return posted_;
    }
    // Pumps until `done()` holds, for up to five seconds; returns done().
    bool runUntil(const std::function<bool()>& done) {
        return queue.runUntil(done, std::chrono::seconds(5));
    }

    PumpedMainQueue queue;

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t posted_ = 0;
};

class BusFixture : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (QCoreApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "desktop_tests";
            static char* argv[] = {name, nullptr};
            new QCoreApplication(argc, argv);  // lives for the process
        }
    }

    void SetUp() override {
        ASSERT_FALSE(bus_.address().empty()) << "dbus-daemon did not start";
        static int count = 0;
        connectionName_ = QStringLiteral("test-%1").arg(++count);
        connection_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(bus_.address()), connectionName_));
        ASSERT_TRUE(connection_->isConnected());
    }

    void TearDown() override {
        servers_.clear();
        connection_.reset();
        QDBusConnection::disconnectFromBus(connectionName_);
    }

    QDBusConnection& bus() { return *connection_; }
    const std::string& busAddress() const { return bus_.address(); }

    // Starts `program` with `args` on the private bus and waits until it owns `name`.
    void startServer(const std::string& program, const std::vector<std::string>& args,
                     const QString& name) {
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), args.begin(), args.end());
        servers_.push_back(std::make_unique<ChildProcess>(argv, bus_.environment()));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return bus().interface()->isServiceRegistered(name).value(); }, 10000))
            << program << " did not take " << name.toStdString();
    }

    // A blocking call to a fake server's control object.
    QDBusMessage control(const QString& service, const QString& interface, const QString& method,
                         const QList<QVariant>& arguments = {}) {
        auto message =
            QDBusMessage::createMethodCall(service, QStringLiteral("/control"), interface, method);
        message.setArguments(arguments);
        return bus().call(message);
    }

    WatchedMainQueue mainQueue;

  private:
    PrivateSessionBus bus_;
    QString connectionName_;
    std::unique_ptr<QDBusConnection> connection_;
    std::vector<std::unique_ptr<ChildProcess>> servers_;
};

}  // namespace tapwell::test

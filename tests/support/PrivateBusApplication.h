#pragma once
// A GoogleTest environment for tests of desktop code that talks D-Bus: it starts a private bus,
// points DBUS_SESSION_BUS_ADDRESS and DBUS_SYSTEM_BUS_ADDRESS at it before anything in Qt can
// connect, and then creates the QApplication on the offscreen platform (unless QT_QPA_PLATFORM
// says otherwise). Register it once per test program:
//
//   const auto* environment =
//       ::testing::AddGlobalTestEnvironment(new tapwell::test::PrivateBusApplication);

#include <gtest/gtest.h>

#include <QString>

#include <memory>

class QApplication;

namespace tapwell::test {

class PrivateSessionBus;

class PrivateBusApplication : public ::testing::Environment {
  public:
    PrivateBusApplication();
    ~PrivateBusApplication() override;

    void SetUp() override;
    void TearDown() override;

    // The private bus's address (valid between SetUp and TearDown).
    static QString address();

  private:
    std::unique_ptr<PrivateSessionBus> bus_;
    std::unique_ptr<QApplication> application_;
};

}  // namespace tapwell::test

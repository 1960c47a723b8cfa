#include "support/PrivateBusApplication.h"

#include <QApplication>

#include <cstdlib>

#include "support/PrivateBus.h"

namespace tapwell::test {

namespace {

QString currentAddress;

}  // namespace

PrivateBusApplication::PrivateBusApplication() = default;

PrivateBusApplication::~PrivateBusApplication() = default;

void PrivateBusApplication::SetUp() {
    bus_ = std::make_unique<PrivateSessionBus>();
    ASSERT_FALSE(bus_->address().empty()) << "dbus-daemon did not start: " << bus_->log();
    currentAddress = QString::fromStdString(bus_->address());
    // Widgets without a display, unless the developer asked for a platform (to watch, say).
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    static int argc = 1;
    static char name[] = "tapwell-tests";
    static char* argv[] = {name, nullptr};
    application_ = std::make_unique<QApplication>(argc, argv);
}

void PrivateBusApplication::TearDown() {
    application_.reset();
    bus_.reset();
    currentAddress.clear();
}

QString PrivateBusApplication::address() {
    return currentAddress;
}

}  // namespace tapwell::test

#pragma once
// A D-Bus daemon of the test's own, so that no test reaches the user's session or system bus. It
// listens on a socket in a fresh temporary folder, activates no services, and lets every client
// own any name. Stopped when the object goes.

#include <memory>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace tapwell::test {

class PrivateBus {
  public:
    // Starts the daemon and waits (up to ten seconds) for its socket; `address()` is empty when it
    // could not be started.
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // The address for DBUS_SESSION_BUS_ADDRESS, e.g. "unix:path=/tmp/.../bus".
    const std::string& address() const { return address_; }
    // "DBUS_SESSION_BUS_ADDRESS=..." and "DBUS_SYSTEM_BUS_ADDRESS=..." for child processes.
    std::vector<std::string> environment() const;
    // The daemon's standard error, for failure messages.
    std::string log() const;

  private:
    TempDir dir_;
    std::unique_ptr<ChildProcess> daemon_;
    std::string address_;
};

// A private bus that is also this process's session and system bus (DBUS_SESSION_BUS_ADDRESS,
// DBUS_SYSTEM_BUS_ADDRESS) while the object lives. Create it before anything connects to a bus.
class PrivateSessionBus : public PrivateBus {
  public:
    PrivateSessionBus();

  private:
    ScopedEnv session_;
    ScopedEnv system_;
};

}  // namespace tapwell::test

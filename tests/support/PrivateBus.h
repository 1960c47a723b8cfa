#pragma once
// A private D-Bus daemon for one test, in its own folder. While the object lives, both the session
// and the system bus addresses of the process point at it, so nothing reaches the user's buses
// (and libdbus never launches a stray daemon of its own).

#include <filesystem>
#include <memory>
#include <string>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace tapwell::test {

class PrivateBus {
  public:
    PrivateBus();
    ~PrivateBus();

    // Empty when the daemon could not be started.
    const std::string& address() const { return address_; }
    // "DBUS_SESSION_BUS_ADDRESS=..." and "DBUS_SYSTEM_BUS_ADDRESS=..." for child processes.
    std::vector<std::string> environment() const;

  private:
    TempDir dir_;
    std::string address_;
    std::unique_ptr<ChildProcess> daemon_;
    std::unique_ptr<ScopedEnv> session_;
    std::unique_ptr<ScopedEnv> system_;
};

}  // namespace tapwell::test

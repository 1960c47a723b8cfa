#include "support/PrivateBus.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace tapwell::test {

namespace {

// The socket file appears when the daemon binds it, a moment before it listens.
bool accepts(const std::filesystem::path& socketPath) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

PrivateBus::PrivateBus() {
    using namespace std::chrono_literals;
    const auto socket = dir_ / "bus";
    const auto config = dir_.write("bus.conf", R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=)" + socket.string() + R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)");
    daemon_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/dbus-daemon", "--config-file=" + config.string(),
                                 "--nofork", "--nopidfile"},
        std::vector<std::string>{}, dir_ / "dbus.log");
    if (!daemon_->running()) {
        return;
    }
    for (int i = 0; i < 1000; ++i) {
        if (accepts(socket)) {
            address_ = "unix:path=" + socket.string();
            return;
        }
        std::this_thread::sleep_for(10ms);
    }
}

PrivateBus::~PrivateBus() {
    if (daemon_) {
        daemon_->terminate();
    }
}

namespace {

// Without a daemon, an address that fails: no address at all would let libdbus start a bus of its
// own for the display.
const char* usableAddress(const std::string& address) {
    return address.empty() ? "unix:path=/nonexistent/tapwell-test-bus" : address.c_str();
}

}  // namespace

PrivateSessionBus::PrivateSessionBus()
    : session_("DBUS_SESSION_BUS_ADDRESS", usableAddress(address())),
      system_("DBUS_SYSTEM_BUS_ADDRESS", usableAddress(address())) {}

std::vector<std::string> PrivateBus::environment() const {
    return {"DBUS_SESSION_BUS_ADDRESS=" + address_, "DBUS_SYSTEM_BUS_ADDRESS=" + address_};
}

std::string PrivateBus::log() const {
    return dir_.read("dbus.log");
}

}  // namespace tapwell::test

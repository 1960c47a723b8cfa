#include "support/PrivateBus.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace tapwell::test {

namespace {

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
    const auto socketPath = dir_ / "bus";
    const std::string address = "unix:path=" + socketPath.string();
    daemon_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile",
                                 "--address=" + address},
        std::vector<std::string>{}, dir_ / "dbus-daemon.log");
    // The daemon is ready once its socket takes connections.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (daemon_->running() && std::chrono::steady_clock::now() < deadline) {
        if (accepts(socketPath)) {
            address_ = address;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    session_ = std::make_unique<ScopedEnv>("DBUS_SESSION_BUS_ADDRESS", address.c_str());
    system_ = std::make_unique<ScopedEnv>("DBUS_SYSTEM_BUS_ADDRESS", address.c_str());
}

PrivateBus::~PrivateBus() {
    system_.reset();
    session_.reset();
    daemon_.reset();
}

std::vector<std::string> PrivateBus::environment() const {
    return {"DBUS_SESSION_BUS_ADDRESS=" + address_, "DBUS_SYSTEM_BUS_ADDRESS=" + address_};
}

}  // namespace tapwell::test

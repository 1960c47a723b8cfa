// The user's instance on Linux: flock(2) on "instance.lock" (released by the kernel when the
// holder dies) and a Unix stream socket "instance.socket" beside it, one JSON line each way.

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include "core/UserInstance.h"
#include "platform/linux/core/FdWatchThread.h"

namespace tapwell {

namespace fs = std::filesystem;

namespace {

// How long one side waits for the other's line. A reply to an export may take a while: the
// running program reads every day file first.
constexpr int requestTimeoutMs = 2000;
constexpr int replyTimeoutMs = 120000;
constexpr std::size_t maxLine = 64 * 1024;

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    ~Fd() { reset(); }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

std::optional<sockaddr_un> socketAddress(const fs::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.size() >= sizeof address.sun_path) {
        return std::nullopt;
    }
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return address;
}

// Reads up to the first line end; none on timeout, error, or a line that never ends.
std::optional<std::string> readLine(int fd, int timeoutMs) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            return std::nullopt;
        }
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return std::nullopt;
        }
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return std::nullopt;  // closed before the line ended
        }
        line.append(buffer, static_cast<std::size_t>(count));
        if (const auto end = line.find('\n'); end != std::string::npos) {
            line.resize(end);
            return line;
        }
        if (line.size() > maxLine) {
            return std::nullopt;
        }
    }
}

bool writeLine(int fd, const std::string& text) {
    const std::string line = text + "\n";
    std::size_t sent = 0;
    while (sent < line.size()) {
        const ssize_t count = ::send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(count);
    }
    return true;
}

// The folder must be ours and closed to others: the socket takes orders such as "delete all".
std::optional<Error> preparePrivateFolder(const fs::path& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return Error::posix(errno, folder.string());
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        return Error::posix(errno, folder.string());
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
        return Error{"tapwell", 1, folder.string() + " is not a folder of this user"};
    }
    if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
        return Error::posix(errno, folder.string());
    }
    return std::nullopt;
}

// Connects and exchanges one line; none when nobody listens or the other side hung up without
// an answer (a program on its way out).
std::optional<InstanceReply> ask(const fs::path& socketPath, const InstanceRequest& request) {
    const auto address = socketAddress(socketPath);
    if (!address) {
        return std::nullopt;
    }
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) {
        return std::nullopt;
    }
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
        return std::nullopt;
    }
    if (!writeLine(fd.get(), request.encode())) {
        return std::nullopt;
    }
    const auto line = readLine(fd.get(), replyTimeoutMs);
    if (!line) {
        return std::nullopt;
    }
    return InstanceReply::decode(*line);
}

}  // namespace

struct UserInstance::Impl {
    fs::path socketPath;
    Fd lock;
    Fd listener;
    FdWatchThread watcher;
    Handler handler;

    void acceptAll() {
        for (;;) {
            Fd connection(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!connection) {
                return;  // EAGAIN: nothing more waiting
            }
            ucred peer{};
            socklen_t size = sizeof peer;
            if (::getsockopt(connection.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
                peer.uid != ::getuid()) {
                continue;
            }
            const auto line = readLine(connection.get(), requestTimeoutMs);
            const auto request = line ? InstanceRequest::decode(*line) : std::nullopt;
            if (!request) {
                writeLine(connection.get(), InstanceReply{"unknown request"}.encode());
                continue;
            }
            // The answer may come from another thread much later; the connection closes once it
            // is sent, or when the answer is dropped unsent.
            auto shared = std::make_shared<Fd>(std::move(connection));
            handler(*request, [shared](InstanceReply reply) {
                if (*shared) {
                    writeLine(shared->get(), reply.encode());
                    shared->reset();
                }
            });
        }
    }
};

fs::path UserInstance::defaultFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime == '/') {
        return fs::path(runtime) / "tapwell";
    }
    return fs::temp_directory_path() / ("tapwell-" + std::to_string(::getuid()));
}

UserInstance::Outcome UserInstance::reachOrClaim(const fs::path& folder,
                                                 const InstanceRequest& request,
                                                 double waitSeconds) {
    Outcome outcome;
    if (auto error = preparePrivateFolder(folder)) {
        outcome.error = std::move(error);
        return outcome;
    }
    const fs::path lockPath = folder / "instance.lock";
    const fs::path socketPath = folder / "instance.socket";
    if (!socketAddress(socketPath)) {
        outcome.error = Error{"tapwell", 2, socketPath.string() + " is too long for a socket"};
        return outcome;
    }
    Fd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lock) {
        outcome.error = Error::posix(errno, lockPath.string());
        return outcome;
    }
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(waitSeconds));
    for (;;) {
        if (::flock(lock.get(), LOCK_EX | LOCK_NB) == 0) {
            auto impl = std::make_unique<Impl>();
            impl->socketPath = socketPath;
            impl->lock = std::move(lock);
            outcome.owned.reset(new UserInstance(std::move(impl)));
            return outcome;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            outcome.error = Error::posix(errno, lockPath.string());
            return outcome;
        }
        if (auto reply = ask(socketPath, request)) {
            outcome.reply = std::move(reply);
            return outcome;
        }
        // The holder does not answer yet: a program still starting or already stopping, or a
        // command at work on the files. Either lets go soon.
        if (std::chrono::steady_clock::now() >= deadline) {
            outcome.error = Error{
                "tapwell", 3,
                "another tapwell process holds " + lockPath.string() + " and does not answer"};
            outcome.busy = true;
            return outcome;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

UserInstance::UserInstance(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

UserInstance::~UserInstance() {
    stopServing();
}

std::optional<Error> UserInstance::serve(Handler handler) {
    stopServing();
    // Only the lock holder gets here, so a socket file left by a killed program is stale.
    ::unlink(impl_->socketPath.c_str());
    Fd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!listener) {
        return Error::posix(errno, "socket");
    }
    const auto address = socketAddress(impl_->socketPath);
    if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) !=
            0 ||
        ::listen(listener.get(), 8) != 0) {
        return Error::posix(errno, impl_->socketPath.string());
    }
    impl_->listener = std::move(listener);
    impl_->handler = std::move(handler);
    Impl* impl = impl_.get();
    if (auto error = impl_->watcher.start(impl_->listener.get(), "com.tapwell.instance",
                                          [impl] { impl->acceptAll(); })) {
        impl_->listener.reset();
        return error;
    }
    return std::nullopt;
}

void UserInstance::stopServing() {
    impl_->watcher.stop();
    if (impl_->listener) {
        impl_->listener.reset();
        ::unlink(impl_->socketPath.c_str());
    }
}

}  // namespace tapwell

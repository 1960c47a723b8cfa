#pragma once
// A thread that waits for one descriptor to become readable and calls a handler for it, until it
// is stopped. Shared by the system events adapters (folder and power notifications), whose
// descriptors have no event loop of their own.

#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "core/Error.h"

namespace tapwell {

class FdWatchThread {
  public:
    FdWatchThread() = default;
    ~FdWatchThread();
    FdWatchThread(const FdWatchThread&) = delete;
    FdWatchThread& operator=(const FdWatchThread&) = delete;

    // Starts the thread (named `threadLabel`). `onReadable` runs on it each time `fd` is readable
    // and must consume what it can read (the descriptor should be non-blocking). The thread ends
    // by itself when `fd` reports an error or hang-up. Returns the OS error when the thread's
    // wake-up descriptor cannot be made. `fd` stays owned by the caller.
    std::optional<Error> start(int fd, std::string threadLabel, std::function<void()> onReadable);

    // Wakes and joins the thread: once it returns, `onReadable` is not running and never runs
    // again. Idempotent; must not be called from `onReadable`.
    void stop();

    bool isRunning() const { return thread_.joinable(); }

  private:
    void run(int fd, const std::string& threadLabel, const std::function<void()>& onReadable);

    int stopFd_ = -1;
    std::thread thread_;
};

}  // namespace tapwell

#pragma once
// The thread that talks to the session and system buses for the desktop adapters (notifications,
// sleep and wake), with an sd-event loop of its own, so that nothing on the main thread ever waits
// for a bus or a server. One thread serves every adapter: `shared()` hands out the running one and
// the thread is joined when its last user lets go. Each adapter opens its connections on the
// thread, keeps them there, and closes them (with `runAndWait`) before it lets go.

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tapwell {

class BusThread {
  public:
    static std::shared_ptr<BusThread> shared();

    BusThread();
    ~BusThread();
    BusThread(const BusThread&) = delete;
    BusThread& operator=(const BusThread&) = delete;

    // Runs `work` on the thread, in posting order. Thread-safe.
    void post(std::function<void()> work);
    // Runs `work` on the thread and returns once it has run (at once when called on the thread).
    void runAndWait(const std::function<void()>& work);
    bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

    enum class Bus { session, system };
    // On the thread: a client connection to `bus`, or to `address` when one is given, served by
    // this thread's loop. Returns a negative errno when there is none.
    int connect(Bus bus, const std::string& address, sd_bus** connection);

  private:
    void run();
    void runPosted();

    int wakeFd_ = -1;
    sd_event* event_ = nullptr;  // the thread's; none when it could not be made
    bool stopping_ = false;      // on the thread
    std::mutex mutex_;
    std::deque<std::function<void()>> work_;
    std::thread thread_;
};

}  // namespace tapwell

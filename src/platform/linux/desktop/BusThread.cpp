#include "platform/linux/desktop/BusThread.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <future>

#include "core/Log.h"
#include "core/ThreadName.h"

namespace tapwell {

std::shared_ptr<BusThread> BusThread::shared() {
    static std::mutex mutex;
    static std::weak_ptr<BusThread> running;
    const std::lock_guard lock(mutex);
    auto thread = running.lock();
    if (!thread) {
        thread = std::make_shared<BusThread>();
        running = thread;
    }
    return thread;
}

BusThread::BusThread() {
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        // Without a wake-up descriptor the thread cannot be reached: its users act as if there
        // were no bus (every connection fails).
        logger(LogCategory::startup)
            .error("No thread for the desktop buses: eventfd failed (errno {})", errno);
    }
    thread_ = std::thread([this] { run(); });
}

BusThread::~BusThread() {
    post([this] {
        stopping_ = true;
        if (event_ != nullptr) {
            sd_event_exit(event_, 0);
        }
    });
    thread_.join();
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
}

void BusThread::post(std::function<void()> work) {
    if (wakeFd_ < 0) {
        // The thread cannot be woken. The work still runs, so that its users learn that no bus
        // can be reached (every connection fails without an event loop).
        work();
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        work_.push_back(std::move(work));
    }
    const std::uint64_t one = 1;
    // A full counter still wakes the thread, so a failed write needs no handling.
    [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
}

void BusThread::runAndWait(const std::function<void()>& work) {
    if (isCurrent()) {
        work();
        return;
    }
    std::promise<void> ran;
    auto done = ran.get_future();
    post([&] {
        work();
        ran.set_value();
    });
    done.wait();
}

void BusThread::runPosted() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto read = ::read(wakeFd_, &count, sizeof count);
    for (;;) {
        std::function<void()> next;
        {
            const std::lock_guard lock(mutex_);
            if (work_.empty()) {
                return;
            }
            next = std::move(work_.front());
            work_.pop_front();
        }
        next();
    }
}

void BusThread::run() {
    setCurrentThreadName("dbus");
    if (wakeFd_ < 0) {
        return;  // `post` runs the work on its caller instead
    }
    sd_event_source* wake = nullptr;
    int result = sd_event_new(&event_);
    if (result >= 0) {
        result = sd_event_add_io(
            event_, &wake, wakeFd_, EPOLLIN,
            [](sd_event_source*, int, std::uint32_t, void* self) {
                static_cast<BusThread*>(self)->runPosted();
                return 0;
            },
            this);
    }
    if (result >= 0) {
        sd_event_loop(event_);
    } else {
        logger(LogCategory::startup)
            .error("No event loop for the desktop buses (errno {})", -result);
        event_ = sd_event_unref(event_);
        // Still run the work, so that users learn that no bus can be reached.
        while (!stopping_) {
            pollfd fd{wakeFd_, POLLIN, 0};
            ::poll(&fd, 1, -1);
            runPosted();
        }
    }
    sd_event_source_unref(wake);
    sd_event_unref(event_);
    event_ = nullptr;
}

int BusThread::connect(Bus bus, const std::string& address, sd_bus** connection) {
    *connection = nullptr;
    if (event_ == nullptr) {
        return -ENXIO;
    }
    sd_bus* opened = nullptr;
    int result = 0;
    if (address.empty()) {
        result = bus == Bus::session ? sd_bus_open_user(&opened) : sd_bus_open_system(&opened);
    } else {
        result = sd_bus_new(&opened);
        if (result >= 0) {
            result = sd_bus_set_address(opened, address.c_str());
        }
        if (result >= 0) {
            result = sd_bus_set_bus_client(opened, 1);
        }
        if (result >= 0) {
            result = sd_bus_start(opened);
        }
    }
    if (result >= 0) {
        result = sd_bus_attach_event(opened, event_, SD_EVENT_PRIORITY_NORMAL);
    }
    if (result < 0) {
        sd_bus_unref(opened);
        return result;
    }
    *connection = opened;
    return 0;
}

}  // namespace tapwell

#include "platform/linux/desktop/LogindSleepSource.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstring>

#include "core/Log.h"
#include "platform/linux/desktop/BusThread.h"

namespace tapwell {

namespace {

constexpr const char* service = "org.freedesktop.login1";
constexpr const char* path = "/org/freedesktop/login1";
constexpr const char* interface = "org.freedesktop.login1.Manager";

// A descriptor that is closed when its last holder lets go, on whichever thread that is.
class Lock {
  public:
    explicit Lock(int fd) : fd_(fd) {}
    ~Lock() { release(); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void release() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

  private:
    int fd_;
};

}  // namespace

struct LogindSleepSource::Reactions {
    explicit Reactions(LogindSleepSource& source) : owner(source) {}
    LogindSleepSource& owner;
};

// Everything here runs on the bus thread, except the two flags tests read.
struct LogindSleepSource::Connection {
    Connection(MainQueue& queue, std::weak_ptr<Reactions> reactionSide, BusThread& busThread,
               std::string busAddress)
        : mainQueue(queue),
          reactions(std::move(reactionSide)),
          thread(busThread),
          address(std::move(busAddress)) {}

    MainQueue& mainQueue;
    std::weak_ptr<Reactions> reactions;
    BusThread& thread;  // the source keeps it running for as long as this is open
    std::string address;
    sd_bus* bus = nullptr;
    sd_bus_slot* sleepMatch = nullptr;
    std::shared_ptr<Lock> lock;
    bool started = false;
    bool toldNoBus = false;
    bool closed = false;
    // Counts lock requests, so an answer that arrives after sleep began or after stop is dropped.
    unsigned generation = 0;
    int pendingRequests = 0;
    std::atomic<bool> holding{false};
    std::atomic<bool> requesting{false};

    struct Request {
        Connection* connection;
        unsigned generation;
    };

    void start() {
        if (started || closed) {
            return;
        }
        if (bus != nullptr && sd_bus_is_open(bus) <= 0) {
            bus = sd_bus_flush_close_unref(bus);  // the bus went away: connect again
        }
        if (bus == nullptr) {
            const int result = thread.connect(BusThread::Bus::system, address, &bus);
            if (result < 0) {
                requesting = pendingRequests > 0;
                if (!toldNoBus) {
                    toldNoBus = true;
                    logger(LogCategory::startup)
                        .warn("No system bus: sleep and wake are not followed ({})",
                              std::strerror(-result));
                }
                return;
            }
        }
        started = true;
        sd_bus_match_signal_async(bus, &sleepMatch, service, path, interface, "PrepareForSleep",
                                  &Connection::prepareForSleep, nullptr, this);
        takeLock();
    }

    void stop() {
        if (!started) {
            return;
        }
        started = false;
        ++generation;
        sleepMatch = sd_bus_slot_unref(sleepMatch);
        lock.reset();
        holding = false;
    }

    void close() {
        stop();
        closed = true;
        // A lock request still on its way goes with the connection.
        bus = sd_bus_flush_close_unref(bus);
        requesting = false;
    }

    void takeLock() {
        auto* request = new Request{this, ++generation};
        sd_bus_slot* slot = nullptr;
        const int result = sd_bus_call_method_async(
            bus, &slot, service, path, interface, "Inhibit", &Connection::lockArrived, request,
            "ssss", "sleep", "Tapwell", "Saving typing statistics", "delay");
        if (result < 0) {
            delete request;
            requesting = pendingRequests > 0;
            logger(LogCategory::startup)
                .warn("Sleep may come before the statistics are saved: {}", std::strerror(-result));
            return;
        }
        sd_bus_slot_set_destroy_callback(slot,
                                         [](void* data) { delete static_cast<Request*>(data); });
        sd_bus_slot_set_floating(slot, 1);
        sd_bus_slot_unref(slot);
        ++pendingRequests;
        requesting = true;
    }

    static int lockArrived(sd_bus_message* reply, void* data, sd_bus_error*) {
        const auto& request = *static_cast<Request*>(data);
        Connection& self = *request.connection;
        if (self.closed) {
            return 0;
        }
        self.requesting = --self.pendingRequests > 0;
        if (request.generation != self.generation) {
            return 0;  // sleep began or the source stopped meanwhile: the reply's copy closes
        }
        if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
            logger(LogCategory::startup)
                .warn("Sleep may come before the statistics are saved: {}",
                      error->message != nullptr ? error->message : error->name);
            return 0;
        }
        int fd = -1;
        const int result = sd_bus_message_read(reply, "h", &fd);
        // The message owns its descriptor and closes it with itself.
        const int copy = result >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 3) : -1;
        if (copy < 0) {
            logger(LogCategory::startup)
                .warn("Sleep may come before the statistics are saved: {}",
                      std::strerror(result < 0 ? -result : errno));
            return 0;
        }
        self.lock = std::make_shared<Lock>(copy);
        self.holding = true;
        return 0;
    }

    static int prepareForSleep(sd_bus_message* signal, void* data, sd_bus_error*) {
        auto& self = *static_cast<Connection*>(data);
        int sleeping = 0;
        if (!self.started || sd_bus_message_read(signal, "b", &sleeping) < 0) {
            return 0;
        }
        if (sleeping != 0) {
            ++self.generation;
            self.holding = false;
            // The main thread lets the lock go once the reaction has returned, which lets logind
            // go on; a source ended meanwhile still lets it go.
            self.mainQueue.post([reactions = self.reactions, lock = std::move(self.lock)] {
                if (auto live = reactions.lock()) {
                    if (auto onWillSleep = live->owner.onWillSleep) {
                        onWillSleep();
                    }
                }
                if (lock) {
                    lock->release();
                }
            });
        } else {
            self.takeLock();
            self.mainQueue.post([reactions = self.reactions] {
                if (auto live = reactions.lock()) {
                    if (auto onDidWake = live->owner.onDidWake) {
                        onDidWake();
                    }
                }
            });
        }
        return 0;
    }
};

LogindSleepSource::LogindSleepSource(MainQueue& mainQueue, std::string busAddress)
    : thread_(BusThread::shared()), reactions_(std::make_shared<Reactions>(*this)) {
    connection_ =
        std::make_shared<Connection>(mainQueue, reactions_, *thread_, std::move(busAddress));
}

LogindSleepSource::~LogindSleepSource() {
    reactions_.reset();
    thread_->runAndWait([this] { connection_->close(); });
}

void LogindSleepSource::start() {
    if (started_) {
        return;
    }
    started_ = true;
    connection_->requesting = true;
    thread_->post([connection = connection_] { connection->start(); });
}

void LogindSleepSource::stop() {
    if (!started_) {
        return;
    }
    started_ = false;
    thread_->post([connection = connection_] { connection->stop(); });
}

bool LogindSleepSource::holdsLock() const {
    return connection_->holding;
}

bool LogindSleepSource::requestingLock() const {
    return connection_->requesting;
}

}  // namespace tapwell

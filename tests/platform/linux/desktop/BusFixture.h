#pragma once
// A private bus for the adapters' tests, with the fake servers of this folder started on it as
// child processes, and the main queue the adapters answer on, which the test pumps.

#include <gtest/gtest.h>

#include <systemd/sd-bus.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/MainQueue.h"
#include "support/ChildProcess.h"
#include "support/PrivateBus.h"

namespace tapwell::test {

// A pumped main queue that also tells how much was ever posted to it, so that a test can wait for
// an answer to be queued without running it.
class WatchedMainQueue final : public MainQueue {
  public:
    void post(std::function<void()> work) override {
        queue.post(std::move(work));
        const std::lock_guard lock(mutex_);
        ++posted_;
        changed_.notify_all();
    }
    // Waits (up to five seconds) until `count` pieces of work were posted in all.
    bool waitForPosted(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return posted_ >= count; });
    }
    std::size_t posted() {
        const std::lock_guard lock(mutex_);
        return posted_;
    }
    // Pumps until `done()` holds, for up to five seconds; returns done().
    bool runUntil(const std::function<bool()>& done) {
        return queue.runUntil(done, std::chrono::seconds(5));
    }

    PumpedMainQueue queue;

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t posted_ = 0;
};

// A reply of a blocking call; none when the call failed.
using Reply = std::unique_ptr<sd_bus_message, decltype(&sd_bus_message_unref)>;

class BusFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(bus_.address().empty()) << "dbus-daemon did not start";
        sd_bus* opened = nullptr;
        int result = sd_bus_new(&opened);
        connection_.reset(opened);
        if (result >= 0) {
            result = sd_bus_set_address(opened, bus_.address().c_str());
        }
        if (result >= 0) {
            result = sd_bus_set_bus_client(opened, 1);
        }
        if (result >= 0) {
            result = sd_bus_start(opened);
        }
        ASSERT_GE(result, 0) << "no connection to the test's bus";
    }

    void TearDown() override {
        servers_.clear();
        connection_.reset();
    }

    const std::string& busAddress() const { return bus_.address(); }

    // Starts `program` with `args` on the private bus and waits until it owns `name`.
    void startServer(const std::string& program, const std::vector<std::string>& args,
                     const char* name) {
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), args.begin(), args.end());
        servers_.push_back(std::make_unique<ChildProcess>(argv, bus_.environment()));
        // Each change of the name's owner wakes the wait below.
        sd_bus_slot* match = nullptr;
        ASSERT_GE(sd_bus_match_signal(connection_.get(), &match, "org.freedesktop.DBus",
                                      "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                      "NameOwnerChanged", nullptr, nullptr),
                  0);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        bool owned = false;
        for (;;) {
            Reply reply = call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "NameHasOwner", "s", name);
            int has = 0;
            owned = reply && sd_bus_message_read(reply.get(), "b", &has) >= 0 && has != 0;
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                deadline - std::chrono::steady_clock::now());
            if (owned || left.count() <= 0) {
                break;
            }
            // A signal that came in with the answer is handled here; only without one is there
            // anything to wait for.
            if (sd_bus_process(connection_.get(), nullptr) == 0) {
                sd_bus_wait(connection_.get(), static_cast<std::uint64_t>(left.count()));
            }
        }
        sd_bus_slot_unref(match);
        ASSERT_TRUE(owned) << program << " did not take " << name;
    }

    // A blocking call to a fake server's control object.
    template <typename... Args>
    Reply control(const char* service, const char* interface, const char* method,
                  const char* types = nullptr, Args... args) {
        return call(service, "/control", interface, method, types, args...);
    }

    static std::vector<std::string> strings(const Reply& reply) {
        std::vector<std::string> out;
        char** list = nullptr;
        if (reply && sd_bus_message_read_strv(reply.get(), &list) >= 0) {
            for (char** item = list; item != nullptr && *item != nullptr; ++item) {
                out.emplace_back(*item);
                std::free(*item);
            }
            std::free(list);
        }
        return out;
    }

    static int number(const Reply& reply) {
        int value = -1;
        if (!reply || sd_bus_message_read(reply.get(), "i", &value) < 0) {
            ADD_FAILURE() << "no number in the answer";
        }
        return value;
    }

    WatchedMainQueue mainQueue;

  private:
    template <typename... Args>
    Reply call(const char* service, const char* path, const char* interface, const char* method,
               const char* types, Args... args) {
        sd_bus_message* reply = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        const int result = sd_bus_call_method(connection_.get(), service, path, interface, method,
                                              &error, &reply, types, args...);
        if (result < 0) {
            ADD_FAILURE() << method << ": " << (error.message != nullptr ? error.message : "");
        }
        sd_bus_error_free(&error);
        return Reply(reply, &sd_bus_message_unref);
    }

    PrivateSessionBus bus_;
    std::unique_ptr<sd_bus, decltype(&sd_bus_flush_close_unref)> connection_{
        nullptr, &sd_bus_flush_close_unref};
    std::vector<std::unique_ptr<ChildProcess>> servers_;
};

}  // namespace tapwell::test

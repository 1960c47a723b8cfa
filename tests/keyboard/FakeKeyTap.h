#pragma once
// A scripted key tap: the test queues events and sets availability, caps lock and secure input;
// the monitor's worker reads them through the KeyTap interface. Its state is shared, so the test
// can watch it after the monitor (which owns the tap) is gone.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

#include "keyboard/KeyTap.h"

namespace tapwell::test {

class FakeKeyTap final : public KeyTap {
  public:
    struct Missed {};
    struct Caps {
        bool isOn;
    };
    using Input = std::variant<KeyTapEvent, Missed, Caps>;

    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<Input> input;
        bool available = false;
        std::optional<bool> capsLock = false;
        bool secureInput = false;
        bool wakeWorks = true;
        bool woken = false;
        int refreshCount = 0;
        int closeCount = 0;
        int waitCount = 0;
        int capsQueries = 0;
        std::size_t pushed = 0;
        std::size_t handled = 0;  // items whose sink call has returned

        void push(Input item) {
            std::lock_guard lock(mutex);
            input.push_back(item);
            ++pushed;
            changed.notify_all();
        }
        void set(auto&& change) {
            std::lock_guard lock(mutex);
            change(*this);
            changed.notify_all();
        }
        // Waits until `done(state)` holds, up to five seconds; returns whether it did.
        bool waitFor(auto&& done) {
            std::unique_lock lock(mutex);
            return changed.wait_for(lock, std::chrono::seconds(5), [&] { return done(*this); });
        }
        // Waits until the monitor has handled everything pushed so far.
        bool waitUntilHandled() {
            return waitFor([](const State& state) { return state.handled == state.pushed; });
        }
    };

    explicit FakeKeyTap(std::shared_ptr<State> state) : state_(std::move(state)) {}

    bool refresh(KeyTapSink&) override {
        std::lock_guard lock(state_->mutex);
        ++state_->refreshCount;
        state_->changed.notify_all();
        return state_->available;
    }
    void close() override {
        std::lock_guard lock(state_->mutex);
        ++state_->closeCount;
        state_->changed.notify_all();
    }
    std::optional<bool> capsLock() override {
        std::lock_guard lock(state_->mutex);
        ++state_->capsQueries;
        return state_->capsLock;
    }
    bool secureInput() override {
        std::lock_guard lock(state_->mutex);
        return state_->secureInput;
    }
    void wait(std::chrono::nanoseconds timeout, KeyTapSink& sink) override {
        std::unique_lock lock(state_->mutex);
        ++state_->waitCount;
        state_->changed.notify_all();
        state_->changed.wait_for(lock, timeout,
                                 [&] { return !state_->input.empty() || state_->woken; });
        state_->woken = false;
        while (!state_->input.empty()) {
            const Input item = state_->input.front();
            state_->input.pop_front();
            // Delivered without the lock, as a real tap would: the sink may ask secureInput().
            lock.unlock();
            if (const auto* event = std::get_if<KeyTapEvent>(&item)) {
                sink.keyEvent(*event);
            } else if (const auto* caps = std::get_if<Caps>(&item)) {
                sink.capsLockChanged(caps->isOn);
            } else {
                sink.eventsMissed();
            }
            lock.lock();
            ++state_->handled;
        }
        state_->changed.notify_all();
    }
    void wake() override {
        std::lock_guard lock(state_->mutex);
        if (state_->wakeWorks) {
            state_->woken = true;
            state_->changed.notify_all();
        }
    }

  private:
    std::shared_ptr<State> state_;
};

}  // namespace tapwell::test

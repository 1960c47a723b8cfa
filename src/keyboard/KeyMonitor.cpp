#include "keyboard/KeyMonitor.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "core/Assert.h"
#include "core/Log.h"
#include "core/ThreadName.h"

namespace tapwell {

// The worker's loop handle: what `stop()` takes under the lock and stops afterwards. Stopping is
// latched, so a stop that arrives before the loop waits still ends the current run at once.
class KeyMonitor::RunLoop {
  public:
    explicit RunLoop(KeyTap& tap) : tap_(tap) {}

    void stop() {
        stopped_.store(true, std::memory_order_release);
        tap_.wake();
    }
    bool isStopped() const { return stopped_.load(std::memory_order_acquire); }

  private:
    KeyTap& tap_;
    std::atomic<bool> stopped_{false};
};

// Forwards what the tap reads to the monitor, on the worker thread.
class KeyMonitor::Sink final : public KeyTapSink {
  public:
    explicit Sink(KeyMonitor& monitor) : monitor_(monitor) {}
    void keyEvent(const KeyTapEvent& event) override { monitor_.handleKey(event); }
    void capsLockChanged(bool isOn) override { monitor_.handleCapsLock(isOn); }
    void eventsMissed() override { monitor_.filter_.reset(); }

  private:
    KeyMonitor& monitor_;
};

KeyMonitor::KeyMonitor(std::unique_ptr<KeyTap> tap) : KeyMonitor(std::move(tap), Options{}) {}

KeyMonitor::KeyMonitor(std::unique_ptr<KeyTap> tap, Options options)
    : options_(options), tap_(std::move(tap)) {
    TAPWELL_ASSERT(tap_ != nullptr, "KeyMonitor needs a key tap");
    capsLock_ = tap_->capsLock().value_or(false);
}

KeyMonitor::~KeyMonitor() {
    stop();
    join();
}

void KeyMonitor::start() {
    std::lock_guard lock(lifecycleLock_);
    if (workerActive_) {
        return;
    }
    if (worker_.joinable()) {
        // The previous worker has cleared its fields and never takes the lock again: it is only
        // returning, so joining here is short.
        worker_.join();
    }
    stopping_ = false;
    workerActive_ = true;
    worker_ = std::thread([this] { run(); });
}

void KeyMonitor::stop() {
    std::shared_ptr<RunLoop> loop;
    {
        std::lock_guard lock(lifecycleLock_);
        stopping_ = true;
        loop = runLoop_;
    }
    if (loop) {
        loop->stop();
    }
}

void KeyMonitor::join() {
    std::thread finished;
    {
        std::unique_lock lock(lifecycleLock_);
        TAPWELL_ASSERT(!worker_.joinable() || worker_.get_id() != std::this_thread::get_id(),
                       "KeyMonitor joined from its own worker thread");
        ended_.wait(lock, [this] { return !workerActive_; });
        finished = std::move(worker_);
    }
    if (finished.joinable()) {
        finished.join();
    }
}

bool KeyMonitor::isRunning() const {
    std::lock_guard lock(lifecycleLock_);
    return workerActive_;
}

void KeyMonitor::run() {
    setCurrentThreadName(threadLabel);
    if (options_.workerStarted) {
        options_.workerStarted();
    }
    auto loop = std::make_shared<RunLoop>(*tap_);
    {
        std::lock_guard lock(lifecycleLock_);
        if (stopping_) {
            // Stopped before the loop existed: end without touching the tap.
            workerActive_ = false;
            ended_.notify_all();
            return;
        }
        runLoop_ = loop;
    }

    Sink sink(*this);
    refreshTap(sink);
    auto nextRefresh = std::chrono::steady_clock::now() + options_.refreshInterval;
    for (;;) {
        {
            std::lock_guard lock(lifecycleLock_);
            if (stopping_) {
                break;
            }
        }
        runFor(*loop, sink, nextRefresh);
    }

    removeTap();
    std::lock_guard lock(lifecycleLock_);
    runLoop_.reset();
    workerActive_ = false;
    ended_.notify_all();
}

// One run of the loop: at most `loopSlice` long, firing the refresh timer when it is due, and
// returning early when the loop is stopped.
void KeyMonitor::runFor(RunLoop& loop, Sink& sink,
                        std::chrono::steady_clock::time_point& nextRefresh) {
    using std::chrono::steady_clock;
    const auto end = steady_clock::now() + options_.loopSlice;
    while (!loop.isStopped()) {
        auto now = steady_clock::now();
        if (now >= nextRefresh) {
            refreshTap(sink);
            nextRefresh += options_.refreshInterval;
            now = steady_clock::now();
            if (nextRefresh <= now) {
                // Fell behind (a long callback): skip the missed firings.
                nextRefresh = now + options_.refreshInterval;
            }
        }
        if (now >= end || loop.isStopped()) {
            return;
        }
        tap_->wait(std::min(end, nextRefresh) - now, sink);
    }
}

void KeyMonitor::refreshTap(Sink& sink) {
    // Caps lock poll: catches changes made while no source could report them.
    if (const auto caps = tap_->capsLock(); caps.has_value()) {
        handleCapsLock(*caps);
    }

    const bool available = tap_->refresh(sink);
    if (!available && tapOpen_) {
        removeTap();
    }
    tapOpen_ = available;

    if (filter_.pressedCount() > 0 && tap_->secureInput()) {
        filter_.reset();
    }

    if (!lastAvailability_.has_value() || *lastAvailability_ != available) {
        lastAvailability_ = available;
        logger(LogCategory::keyboardPermission).info("Keyboard listener available: {}", available);
        if (onAvailability) {
            onAvailability(available);
        }
    }
}

void KeyMonitor::removeTap() {
    tap_->close();
    tapOpen_ = false;
    filter_.reset();
}

void KeyMonitor::handleKey(const KeyTapEvent& event) {
    // Nothing typed into a password prompt is played or counted; keys held when it began are
    // forgotten so their releases stay silent too.
    if (tap_->secureInput()) {
        filter_.reset();
        return;
    }
    const auto accepted = filter_.accept(event.action != KeyTapAction::release, event.code,
                                         event.action == KeyTapAction::repeat);
    if (!accepted.has_value()) {
        return;
    }
    if (onKey) {
        onKey(KeyActivity{accepted->kind, accepted->isDown,
                          static_cast<double>(event.timestampNs) / 1'000'000'000.0});
    }
}

void KeyMonitor::handleCapsLock(bool isOn) {
    if (isOn == capsLock_) {
        return;
    }
    capsLock_ = isOn;
    if (onCapsLock) {
        onCapsLock(isOn);
    }
}

}  // namespace tapwell

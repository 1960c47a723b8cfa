#pragma once
// Observes every key press and release system-wide through a `KeyTap`, on a worker thread of its
// own ("com.tapwell.key-monitor") so that a busy main thread never delays the key path. Raw events
// pass the secure-input rule and the `KeyEventFilter` and leave as `KeyActivity` records through
// `onKey`. Once a second the worker polls caps lock, re-scans the tap's sources (so access granted
// later, or a keyboard plugged in, is picked up) and reports availability when it changes.
//
// Threads: the callbacks run on the worker thread. `start`, `stop` and `join` may be called from
// any thread; they share only `worker`, `runLoop` and `stopping`, under the lifecycle lock, which
// is never held while calling out.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "keyboard/KeyActivity.h"
#include "keyboard/KeyEventFilter.h"
#include "keyboard/KeyTap.h"

namespace tapwell {

class KeyMonitor {
  public:
    static constexpr const char* threadLabel = "com.tapwell.key-monitor";

    struct Options {
        // How often the worker polls caps lock and re-scans the tap.
        std::chrono::nanoseconds refreshInterval = std::chrono::seconds(1);
        // The longest single run of the worker's loop before it looks at `stopping` again.
        std::chrono::nanoseconds loopSlice = std::chrono::seconds(1);
        // Runs first on the worker thread, before it looks at `stopping`: lets tests order a stop
        // against the worker's start. Empty in the application.
        std::function<void()> workerStarted;
    };

    // Reads the current caps lock state from the tap; nothing runs yet.
    explicit KeyMonitor(std::unique_ptr<KeyTap> tap);
    KeyMonitor(std::unique_ptr<KeyTap> tap, Options options);
    // Requests a stop and waits for the worker. Must not run on the worker thread.
    ~KeyMonitor();
    KeyMonitor(const KeyMonitor&) = delete;
    KeyMonitor& operator=(const KeyMonitor&) = delete;

    // Set by the owner before `start()` and not changed afterwards.
    std::function<void(KeyActivity)> onKey;
    std::function<void(bool)> onAvailability;
    std::function<void(bool)> onCapsLock;

    // Starts the worker thread unless one is running.
    void start();
    // Asks the worker to end: it closes the tap and ends soon after. Does not wait.
    void stop();
    // Waits until the worker (if any) has ended. Must not run on the worker thread.
    void join();
    // True from `start()` until the worker has finished its last step.
    bool isRunning() const;

  private:
    class RunLoop;
    class Sink;
    friend class Sink;

    void run();
    void runFor(RunLoop& loop, Sink& sink, std::chrono::steady_clock::time_point& nextRefresh);
    void refreshTap(Sink& sink);
    void removeTap();
    void handleKey(const KeyTapEvent& event);
    void handleCapsLock(bool isOn);

    Options options_;
    bool capsLock_ = false;  // worker thread only (after construction)

    mutable std::mutex lifecycleLock_;
    std::condition_variable ended_;     // signalled when the worker clears its fields
    std::thread worker_;                // guarded by lifecycleLock_
    bool workerActive_ = false;         // guarded: the worker has not yet cleared itself
    std::shared_ptr<RunLoop> runLoop_;  // guarded: the worker's loop while it runs
    bool stopping_ = false;             // guarded

    std::unique_ptr<KeyTap> tap_;           // worker thread only, except wake()
    bool tapOpen_ = false;                  // worker thread only
    KeyEventFilter filter_;                 // worker thread only
    std::optional<bool> lastAvailability_;  // worker thread only
};

}  // namespace tapwell

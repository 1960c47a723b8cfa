#pragma once
// Watches the PulseAudio server (or PipeWire's PulseAudio server) for a change of its default
// sink and reports it, so that an output that follows the default device can be restarted on the
// new one. Runs libpulse's threaded main loop; the callback runs on that loop's thread.

#include <functional>
#include <memory>
#include <string>

namespace tapwell {

class PulseDefaultSinkWatcher {
  public:
    // Connects to `server` (empty: the session's server) and starts watching. Without a reachable
    // server the watcher stays idle and `isWatching` is false; nothing is retried.
    PulseDefaultSinkWatcher(std::string server, std::function<void()> onDefaultSinkChange);
    ~PulseDefaultSinkWatcher();
    PulseDefaultSinkWatcher(const PulseDefaultSinkWatcher&) = delete;
    PulseDefaultSinkWatcher& operator=(const PulseDefaultSinkWatcher&) = delete;

    bool isWatching() const;

    struct State;

  private:
    std::unique_ptr<State> state_;
};

}  // namespace tapwell

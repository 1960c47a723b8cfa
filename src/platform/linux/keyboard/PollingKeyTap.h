#pragma once
// The Linux side of the key monitor's loop: there is no platform run loop, so a tap waits with
// ppoll() over its descriptors plus an eventfd that `wake()` signals. The evdev and X11 taps and
// the tap that combines them share this; the combined tap polls the descriptors of both.

#include <sys/poll.h>

#include <cstdint>
#include <vector>

#include "keyboard/KeyTap.h"

namespace tapwell {

class PollingKeyTap : public KeyTap {
  public:
    struct Watch {
        int fd = -1;
        short events = POLLIN;
        PollingKeyTap* owner = nullptr;  // whose dispatch handles it
        std::uint64_t tag = 0;           // the owner's own meaning
    };

    PollingKeyTap();
    ~PollingKeyTap() override;
    PollingKeyTap(const PollingKeyTap&) = delete;
    PollingKeyTap& operator=(const PollingKeyTap&) = delete;

    void wait(std::chrono::nanoseconds timeout, KeyTapSink& sink) override;
    void wake() override;

    // Appends the descriptors to watch now.
    virtual void collectWatches(std::vector<Watch>& out) = 0;
    // Handles a watched descriptor that poll() found ready (`revents`).
    virtual void dispatch(const Watch& watch, short revents, KeyTapSink& sink) = 0;
    // Delivers input that was already read into a buffer (and so will not wake poll()). Returns
    // true when something was delivered.
    virtual bool dispatchBuffered(KeyTapSink&) { return false; }

  private:
    int wakeFd_ = -1;
    std::vector<Watch> watches_;   // reused, so an idle wait does not allocate
    std::vector<pollfd> pollFds_;  // [0] is the wake descriptor
};

}  // namespace tapwell

#pragma once
// A `RenderWaker` on an eventfd: `wake` adds to the counter (one system call, no lock), and the
// sleeping output waits for the descriptor to become readable, either in `wait` or in a main
// loop that polls it. A wake that comes before the wait is kept, so none is lost.

#include "sound/AudioOutput.h"

namespace tapwell {

class EventFdWaker final : public RenderWaker {
  public:
    EventFdWaker();
    ~EventFdWaker() override;
    EventFdWaker(const EventFdWaker&) = delete;
    EventFdWaker& operator=(const EventFdWaker&) = delete;

    void wake() noexcept override;
    // Blocks until a wake came (at once when one came already), and clears it.
    void wait() noexcept;
    // Clears any wake that came; never blocks.
    void clear() noexcept;
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
};

}  // namespace tapwell

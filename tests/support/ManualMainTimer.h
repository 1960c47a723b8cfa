#pragma once
// A main-thread timer whose time only moves when the test says so: `advance` runs the work that
// falls due, in deadline order (scheduling order for equal deadlines), including work scheduled
// by that work within the advanced span.

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

#include "core/MainTimer.h"

namespace tapwell::test {

class ManualMainTimer final : public MainTimer {
  public:
    double now() const { return now_; }
    // Moves the time forward by `seconds`, running what falls due on the way.
    void advance(double seconds);
    // Scheduled closures not yet run (cancelled ones included until their time comes).
    std::size_t queued() const { return queue_.size(); }

  protected:
    void schedule(double seconds, std::function<void()> work) override;

  private:
    double now_ = 0.0;
    std::uint64_t sequence_ = 0;
    std::map<std::pair<double, std::uint64_t>, std::function<void()>> queue_;
};

}  // namespace tapwell::test

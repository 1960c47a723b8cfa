#include "core/QueueScheduler.h"

namespace tapwell {

namespace {

class SystemQueueScheduler final : public QueueScheduler {
  public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    bool passesByItself() const override { return true; }
    void attach(SerialQueue&) override {}
    void detach(SerialQueue&) override {}
};

}  // namespace

QueueScheduler& QueueScheduler::system() {
    static SystemQueueScheduler scheduler;
    return scheduler;
}

}  // namespace tapwell

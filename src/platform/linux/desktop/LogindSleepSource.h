#pragma once
// Sleep and wake from logind (org.freedesktop.login1 on the system bus). While awake the source
// holds a "delay" inhibitor lock, so that on PrepareForSleep(true) logind waits until the
// application has saved what it must; the lock is released as soon as that reaction has returned
// on the main thread, and taken again on wake. Without a system bus nothing is followed (said once
// in the log). The bus is spoken to on the bus thread; the reactions run on the main thread
// through the main queue, and none runs once the source is gone.

#include <atomic>
#include <memory>
#include <string>

#include "core/MainQueue.h"
#include "platform/DesktopServices.h"

namespace tapwell {

class BusThread;

class LogindSleepSource final : public SleepSource {
  public:
    // `busAddress` names the system bus to use (a private one in tests); empty for the machine's.
    explicit LogindSleepSource(MainQueue& mainQueue, std::string busAddress = {});
    ~LogindSleepSource() override;
    LogindSleepSource(const LogindSleepSource&) = delete;
    LogindSleepSource& operator=(const LogindSleepSource&) = delete;

    void start() override;
    void stop() override;

    // The delay lock is held; a request for it is on its way (for tests).
    bool holdsLock() const;
    bool requestingLock() const;

    struct Connection;  // the bus side, on the bus thread
    struct Reactions;   // the main side

  private:
    std::shared_ptr<BusThread> thread_;
    std::shared_ptr<Reactions> reactions_;
    std::shared_ptr<Connection> connection_;
    bool started_ = false;
};

}  // namespace tapwell

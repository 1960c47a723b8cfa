#pragma once
// The machine's power state as the OS reports it, with change notifications. Implemented per OS
// under platform/; tests use a fake.

#include <functional>
#include <optional>

#include "system/PowerRules.h"

namespace tapwell {

class PowerSource {
  public:
    virtual ~PowerSource() = default;

    // One reading; absent when the OS gives no power information at all.
    virtual std::optional<PowerSample> read() = 0;

    // Starts calling `onChange` (on a thread of the adapter's choosing) after each power-source
    // change. Returns false when no notifications are available; reading still works then.
    virtual bool startNotifications(std::function<void()> onChange) = 0;
    // Stops notifications; once it returns `onChange` is not running and is never called again.
    // Harmless when not started.
    virtual void stopNotifications() = 0;
};

}  // namespace tapwell

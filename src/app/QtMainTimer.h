#pragma once
// Delayed main-thread work on the Qt event loop: a single-shot timer per piece of work, owned by
// the context object, so nothing runs once that object is gone.

#include <QObject>

#include "core/MainTimer.h"

namespace tapwell {

class QtMainTimer final : public MainTimer {
  public:
    explicit QtMainTimer(QObject* context) : context_(context) {}

  protected:
    void schedule(double seconds, std::function<void()> work) override;

  private:
    QObject* context_;
};

}  // namespace tapwell

#pragma once
// The main queue on the Qt event loop: posted work runs on the thread of the application object,
// in posting order.

#include <QObject>

#include "core/MainQueue.h"

namespace tapwell {

class QtMainQueue final : public MainQueue {
  public:
    explicit QtMainQueue(QObject* context) : context_(context) {}
    void post(std::function<void()> work) override;

  private:
    QObject* context_;
};

}  // namespace tapwell

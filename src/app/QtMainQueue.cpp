#include "app/QtMainQueue.h"

#include <QMetaObject>

namespace tapwell {

void QtMainQueue::post(std::function<void()> work) {
    // A queued call on the context object: it runs in the context's thread, in posting order, and
    // is dropped when the context is gone.
    QMetaObject::invokeMethod(context_, std::move(work), Qt::QueuedConnection);
}

}  // namespace tapwell

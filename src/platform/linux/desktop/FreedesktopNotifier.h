#pragma once
// Notifications through the freedesktop notification service (org.freedesktop.Notifications on
// the session bus): GetCapabilities tells whether a server runs and shows buttons, Notify posts,
// and the ActionInvoked signal, which servers send to every client, is passed on for the
// notification service to filter by its own ids. The bus is spoken to on the bus thread; answers
// and signals reach the main thread through the main queue, and none arrives once the notifier
// is gone.

#include <memory>
#include <string>

#include "core/MainQueue.h"
#include "presentation/Notifier.h"

namespace tapwell {

class BusThread;

class FreedesktopNotifier final : public Notifier {
  public:
    // `iconName` is the application's icon and desktop-entry name. `busAddress` names the session
    // bus to use (a private one in tests); empty for the user's own.
    explicit FreedesktopNotifier(MainQueue& mainQueue, std::string iconName = {},
                                 std::string busAddress = {});
    ~FreedesktopNotifier() override;
    FreedesktopNotifier(const FreedesktopNotifier&) = delete;
    FreedesktopNotifier& operator=(const FreedesktopNotifier&) = delete;

    void queryCapabilities(std::function<void(Capabilities)> done) override;
    void post(const Notification& notification,
              std::function<void(std::optional<NotificationID>)> done) override;

    struct Connection;  // the bus side, on the bus thread
    struct Waiting;     // the main side: callbacks waiting for their answers

  private:
    std::shared_ptr<BusThread> thread_;
    std::shared_ptr<Connection> connection_;
    std::shared_ptr<Waiting> waiting_;
};

}  // namespace tapwell

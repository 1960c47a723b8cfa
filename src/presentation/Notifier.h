#pragma once
// The desktop's notification server as the notification service uses it. The Linux adapter talks
// to the freedesktop notification service over the session bus; tests use a fake. Every method
// and callback runs on the main thread.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tapwell {

struct Notification {
    std::string title;
    std::string body;
    // (key, title) of each button, in order; empty for a notification without buttons.
    std::vector<std::pair<std::string, std::string>> actions;
};

class Notifier {
  public:
    struct Capabilities {
        bool reachable = false;  // a server answered
        bool actions = false;    // it shows buttons
    };
    using NotificationID = std::uint32_t;

    virtual ~Notifier() = default;

    // A button of a notification was chosen ("default" is a click on the body). Servers send
    // this for every client's notifications: the receiver filters by id.
    std::function<void(NotificationID id, const std::string& key)> onAction;

    // Asks the server what it supports; `done` gets reachable false when no server answers.
    virtual void queryCapabilities(std::function<void(Capabilities)> done) = 0;
    // Shows `notification`; `done` gets its id, or none when no server took it.
    virtual void post(const Notification& notification,
                      std::function<void(std::optional<NotificationID>)> done) = 0;
};

}  // namespace tapwell

#pragma once
// The application's notifications: the break nudge with its two buttons, the late-night warning,
// the daily-limit notice and the messages the application state composes (the rank-up). It
// writes the texts in the language in force when it posts, keeps the buttons' titles in the
// language of the last `registerCategories()`, reports whether a server takes notifications, and
// turns the break notification's buttons into `BreakAction` values.
//
// Desktop servers need no permission: a server that answers counts as authorized, none as denied.
// A server without buttons still gets the break notification, whose body then says where else to
// take the break. Main thread only; the notifier's answers arrive there too.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Clock.h"
#include "presentation/NotificationStatus.h"
#include "presentation/Notifier.h"
#include "wellbeing/WellbeingEvent.h"

namespace tapwell {

class NotificationService {
  public:
    static constexpr std::string_view breakCategory = "tapwell.break";
    static constexpr std::string_view takeFiveAction = "takeFive";
    static constexpr std::string_view snoozeAction = "snooze";

    // `notifier` and `clock` outlive the service. Texts come from `resourceFolder`.
    NotificationService(Notifier& notifier, Clock& clock, std::filesystem::path resourceFolder);
    ~NotificationService();
    NotificationService(const NotificationService&) = delete;
    NotificationService& operator=(const NotificationService&) = delete;

    // Receives the status after every refresh and every post.
    std::function<void(NotificationStatus)> onAuthorization;
    // Receives the button chosen on a break notification.
    std::function<void(BreakAction)> onBreakAction;

    // Titles the break buttons in the current language, for every later break notification.
    void registerCategories();
    void refreshAuthorization();
    // Desktop servers ask no permission: the same as a refresh.
    void requestAuthorization();

    // Posts the notification of a wellbeing event, if it has one: `minutes` of typing for the
    // break, today's `total` keystrokes for the daily limit.
    void health(WellbeingEvent event, std::int64_t minutes, std::int64_t total);
    // Posts a notification; `category` is breakCategory for one with the break buttons.
    void send(std::string title, std::string body, std::string_view category = {});

    NotificationStatus status() const { return status_; }

  private:
    struct Pending {
        std::string title;
        std::string body;
        std::string hint;  // added to a break's body where the server shows no buttons
        bool isBreak = false;
    };

    void postNext();
    void report(Notifier::Capabilities capabilities);
    void routeAction(Notifier::NotificationID id, const std::string& key);

    Notifier& notifier_;
    Clock& clock_;
    std::filesystem::path resourceFolder_;
    std::vector<std::pair<std::string, std::string>> breakActions_;
    NotificationStatus status_;
    // Notifications waiting for the one before them to be posted.
    std::deque<Pending> pending_;
    bool posting_ = false;
    // The latest break notifications; buttons of any other notification are ignored.
    std::deque<Notifier::NotificationID> breakIDs_;
    // Answers that arrive after the service is gone find this expired.
    std::shared_ptr<NotificationService*> alive_;
};

}  // namespace tapwell

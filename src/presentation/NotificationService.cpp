#include "presentation/NotificationService.h"

#include <algorithm>

#include "core/Calendar.h"
#include "presentation/Localization.h"

namespace tapwell {

namespace {

// Break notifications whose buttons still count. A server keeps a handful on screen at most; the
// oldest ids beyond this are forgotten. Closing is not a reason to forget one: servers do not
// agree on whether a button's signal comes before or after the close.
constexpr std::size_t rememberedBreaks = 16;

}  // namespace

NotificationService::NotificationService(Notifier& notifier, Clock& clock,
                                         std::filesystem::path resourceFolder)
    : notifier_(notifier),
      clock_(clock),
      resourceFolder_(std::move(resourceFolder)),
      alive_(std::make_shared<NotificationService*>(this)) {
    std::weak_ptr<NotificationService*> weak = alive_;
    notifier_.onAction = [weak](Notifier::NotificationID id, const std::string& key) {
        if (auto self = weak.lock()) {
            (*self)->routeAction(id, key);
        }
    };
    registerCategories();
}

NotificationService::~NotificationService() {
    notifier_.onAction = nullptr;
}

void NotificationService::registerCategories() {
    const Localization localization(std::nullopt, resourceFolder_);
    breakActions_ = {
        {std::string(takeFiveAction), localization.text("notification.break.take5")},
        {std::string(snoozeAction), localization.text("notification.break.snooze")},
    };
}

void NotificationService::refreshAuthorization() {
    std::weak_ptr<NotificationService*> weak = alive_;
    notifier_.queryCapabilities([weak](Notifier::Capabilities capabilities) {
        if (auto self = weak.lock()) {
            (*self)->report(capabilities);
        }
    });
}

void NotificationService::requestAuthorization() {
    refreshAuthorization();
}

void NotificationService::report(Notifier::Capabilities capabilities) {
    status_.authorization = capabilities.reachable ? NotificationAuthorization::authorized
                                                   : NotificationAuthorization::denied;
    status_.actionsAvailable = capabilities.reachable && capabilities.actions;
    if (onAuthorization) {
        onAuthorization(status_);
    }
}

void NotificationService::health(WellbeingEvent event, std::int64_t minutes, std::int64_t total) {
    const Localization localization(std::nullopt, resourceFolder_);
    switch (event) {
        case WellbeingEvent::takeBreak:
            send(localization.text("notification.break.title"),
                 localization.format("notification.break.body", {minutes}), breakCategory);
            break;
        case WellbeingEvent::lateNight:
            send(localization.format("notification.lateNight.title",
                                     {localization.shortTime(clock_.now(), clock_.calendar())}),
                 localization.text("notification.lateNight.body"));
            break;
        case WellbeingEvent::dailyLimit:
            send(localization.text("notification.dailyLimit.title"),
                 localization.format("notification.dailyLimit.body",
                                     {localization.groupedInteger(total)}));
            break;
        case WellbeingEvent::edgeDim:
        case WellbeingEvent::wrapUp:
            break;
    }
}

void NotificationService::send(std::string title, std::string body, std::string_view category) {
    Pending pending{std::move(title), std::move(body), {}, category == breakCategory};
    // Without buttons the break notification says where else to take the break; that hint is
    // written now, in the language of the moment of posting.
    if (pending.isBreak) {
        pending.hint =
            Localization(std::nullopt, resourceFolder_).text("notification.break.noActions");
    }
    pending_.push_back(std::move(pending));
    if (!posting_) {
        postNext();
    }
}

void NotificationService::postNext() {
    posting_ = !pending_.empty();
    if (!posting_) {
        return;
    }
    // One at a time, each after its own look at the server: they appear in the order sent.
    std::weak_ptr<NotificationService*> weak = alive_;
    notifier_.queryCapabilities([weak](Notifier::Capabilities capabilities) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        NotificationService& service = **self;
        service.report(capabilities);
        Pending pending = std::move(service.pending_.front());
        service.pending_.pop_front();
        if (!capabilities.reachable) {
            service.postNext();
            return;
        }
        Notification notification{pending.title, pending.body, {}};
        if (pending.isBreak) {
            if (capabilities.actions) {
                notification.actions = service.breakActions_;
            } else {
                notification.body += "\n" + pending.hint;
            }
        }
        const bool withButtons = !notification.actions.empty();
        service.notifier_.post(
            notification, [weak, withButtons](std::optional<Notifier::NotificationID> id) {
                auto alive = weak.lock();
                if (!alive) {
                    return;
                }
                NotificationService& posted = **alive;
                if (!id) {
                    posted.report({});  // the server went away between the two calls
                } else if (withButtons) {
                    posted.breakIDs_.push_back(*id);
                    if (posted.breakIDs_.size() > rememberedBreaks) {
                        posted.breakIDs_.pop_front();
                    }
                }
                posted.postNext();
            });
    });
}

void NotificationService::routeAction(Notifier::NotificationID id, const std::string& key) {
    if (std::find(breakIDs_.begin(), breakIDs_.end(), id) == breakIDs_.end() || !onBreakAction) {
        return;
    }
    if (key == takeFiveAction) {
        onBreakAction(BreakAction::takeFive);
    } else if (key == snoozeAction) {
        onBreakAction(BreakAction::snooze);
    }
}

}  // namespace tapwell

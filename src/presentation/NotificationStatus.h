#pragma once
// Whether the desktop's notification server takes our notifications, and with buttons.

namespace tapwell {

enum class NotificationAuthorization { notDetermined, denied, authorized };

struct NotificationStatus {
    NotificationAuthorization authorization = NotificationAuthorization::notDetermined;
    bool actionsAvailable = false;  // the server shows action buttons

    bool operator==(const NotificationStatus&) const = default;
};

}  // namespace tapwell

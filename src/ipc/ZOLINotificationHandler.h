#pragma once

#include "ipc/ZOLNotification.h"
#include "ipc/ZOLNotificationAction.h"

namespace vozi {

// Told what the user did with a notification. Over the agent service it is
// called on the connection's queue; in the process, on whatever thread
// passes the agent's call on.
class ZOLINotificationHandler {
 public:
  virtual ~ZOLINotificationHandler() = default;
  // The user took the notification's action.
  virtual void handleActionForNotification(ZOLNotificationPtr notification) = 0;
  // The user closed the notification.
  virtual void handleCloseForNotification(ZOLNotificationPtr notification) = 0;
  // The user pressed one of an alert's further buttons. Optional: by
  // default nothing happens.
  virtual void handleAdditionalAction(ZOLNotificationActionPtr action, ZOLNotificationPtr notification) {
    (void)action;
    (void)notification;
  }
};

}  // namespace vozi

#pragma once

#include <cstdint>
#include <string>

#include "ipc/ZOLNotification.h"

namespace vozi {

// Shows notifications: the agent does it, and the daemon's notification
// centre passes its calls on to the agent.
class ZOLINotificationScheduler {
 public:
  virtual ~ZOLINotificationScheduler() = default;
  // `priority` is a ZOLNotificationPriority raw value (rawValue()).
  virtual void scheduleWithNotification(ZOLNotificationPtr notification, std::int64_t priority) = 0;
  // Shows the notification at once.
  virtual void deliverWithNotification(ZOLNotificationPtr notification) = 0;
  virtual void removeWithNotificationIdentifier(std::string identifier) = 0;
};

}  // namespace vozi

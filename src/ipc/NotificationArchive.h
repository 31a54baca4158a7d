#pragma once

#include "platform/AllowedClasses.h"

namespace vozi {

// The notification records' place in keyed archives.
class NotificationArchive {
 public:
  // Registers ZOLNotification, its three subclasses and
  // ZOLNotificationAction, base classes first. Safe from any thread, any
  // number of times; the service descriptions call it.
  static void registerClasses();

  // What a notification argument may hold, nested objects included: the
  // three notification kinds the agent shows (not the bare base class),
  // their actions, and strings, dictionaries, arrays and numbers.
  static const platform::AllowedClasses& notificationClasses();
};

}  // namespace vozi

#pragma once

#include <string>

namespace vozi {

// Tells the agent which notifications the daemon wants to hear about: the
// agent sends the user's action on or closing of such a notification back
// through ZOLINotificationHandler.
class ZOLINotificationRemoteHandlerRegistration {
 public:
  virtual ~ZOLINotificationRemoteHandlerRegistration() = default;
  virtual void registerRemoteHandlerForNotificationIdentifier(std::string identifier) = 0;
  virtual void unregisterRemoteHandlerForNotificationIdentifier(std::string identifier) = 0;
};

}  // namespace vozi

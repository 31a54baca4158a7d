#pragma once

#include "ipc/IZOLGAEventSender.h"
#include "ipc/ZOLINotificationHandler.h"
#include "platform/services/XPCInterface.h"

namespace vozi {

// What the daemon exports to the per-user agent on
// kUserAgentClientServiceName. Every method is called on the connection's
// queue, in the order the agent sent them.
class UserAgentClient : public virtual IZOLGAEventSender, public virtual ZOLINotificationHandler {
 public:
  // The agent's first call on a new connection.
  virtual void setupConnection() = 0;
};

// Its description: sendWithEvent: admits GAEvent, NSString, NSNumber; the
// notification methods admit the notification set
// (NotificationArchive::notificationClasses()) for the notification and
// everything in it, and for the action of handleAdditionalAction.
const platform::XPCInterfacePtr& userAgentClientInterface();

}  // namespace vozi

#include "ipc/UserAgentClient.h"

#include "ipc/NotificationArchive.h"
#include "ipc/XPCServices.h"

namespace vozi {

const platform::XPCInterfacePtr& userAgentClientInterface() {
  static const platform::XPCInterfacePtr interface = [] {
    registerServiceRecordClasses();
    const platform::AllowedClasses& notifications = NotificationArchive::notificationClasses();
    return platform::XPCInterface::describe<UserAgentClient>("UserAgentClient")
        .method<&UserAgentClient::setupConnection>("setupConnection")
        .method<&IZOLGAEventSender::sendWithEvent>("sendWithEvent:", {{GAEventRecord::kClassName, "NSString", "NSNumber"}})
        .method<&ZOLINotificationHandler::handleActionForNotification>("handleActionForNotification:", {notifications})
        .method<&ZOLINotificationHandler::handleCloseForNotification>("handleCloseForNotification:", {notifications})
        .method<&ZOLINotificationHandler::handleAdditionalAction>("handleAdditionalAction:forNotification:",
                                                                  {notifications, notifications})
        .build();
  }();
  return interface;
}

}  // namespace vozi

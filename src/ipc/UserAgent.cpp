#include "ipc/UserAgent.h"

#include "ipc/NotificationArchive.h"
#include "ipc/XPCServices.h"

namespace vozi {

const platform::XPCInterfacePtr& userAgentInterface() {
  static const platform::XPCInterfacePtr interface = [] {
    registerServiceRecordClasses();
    const platform::AllowedClasses& notifications = NotificationArchive::notificationClasses();
    const platform::AllowedClasses strings{"NSString"};
    const platform::AllowedClasses urls{"NSURL"};
    return platform::XPCInterface::describe<UserAgent>("UserAgent")
        .method<&UserAgent::retrieveUserName>("retrieveUserName:", {}, {strings})
        .method<&UserAgent::retrieveTrashDirectory>("retrieveTrashDirectory:", {}, {urls})
        .method<&UserAgent::retrieveLibraryDirectory>("retrieveLibraryDirectory:", {}, {urls})
        .method<&UserAgent::retrieveCachesDirectory>("retrieveCachesDirectory:", {}, {urls})
        .method<&UserAgent::updateITunesLibrary>("updateITunesLibrary")
        .method<&ZOLINotificationRemoteHandlerRegistration::registerRemoteHandlerForNotificationIdentifier>(
            "registerRemoteHandlerForNotificationIdentifier:", {strings})
        .method<&ZOLINotificationRemoteHandlerRegistration::unregisterRemoteHandlerForNotificationIdentifier>(
            "unregisterRemoteHandlerForNotificationIdentifier:", {strings})
        .method<&ZOLINotificationScheduler::scheduleWithNotification>("scheduleWithNotification:withPriority:",
                                                                      {notifications})
        .method<&ZOLINotificationScheduler::deliverWithNotification>("deliverWithNotification:", {notifications})
        .method<&ZOLINotificationScheduler::removeWithNotificationIdentifier>("removeWithNotificationIdentifier:",
                                                                              {strings})
        .build();
  }();
  return interface;
}

}  // namespace vozi

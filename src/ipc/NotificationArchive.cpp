#include "ipc/NotificationArchive.h"

#include <mutex>
#include <string>

#include "ipc/ZOLAlertNotification.h"
#include "ipc/ZOLCustomNotification.h"
#include "ipc/ZOLDefaultNotification.h"
#include "ipc/ZOLNotification.h"
#include "ipc/ZOLNotificationAction.h"
#include "platform/ArchiveClassRegistry.h"

namespace vozi {

namespace {

using platform::ArchiveClassRegistry;
using platform::KeyedArchiver;
using platform::KeyedUnarchiver;

// A notification's decoder may give no object (no identifier).
template <class T, class Base = void>
void registerNotification() {
  ArchiveClassRegistry::shared().registerClass<T, Base>(
      std::string(T::kClassName), [](const T& record, KeyedArchiver& archiver) { record.encode(archiver); },
      [](KeyedUnarchiver& unarchiver) { return ZOLNotification::decoded<T>(unarchiver); });
}

void registerAll() {
  registerNotification<ZOLNotification>();
  registerNotification<ZOLDefaultNotification, ZOLNotification>();
  registerNotification<ZOLAlertNotification, ZOLDefaultNotification>();
  registerNotification<ZOLCustomNotification, ZOLNotification>();
  ArchiveClassRegistry::shared().registerClass<ZOLNotificationAction>(std::string(ZOLNotificationAction::kClassName));
}

}  // namespace

void NotificationArchive::registerClasses() {
  static std::once_flag once;
  std::call_once(once, registerAll);
}

const platform::AllowedClasses& NotificationArchive::notificationClasses() {
  static const platform::AllowedClasses classes{ZOLDefaultNotification::kClassName,
                                                ZOLCustomNotification::kClassName,
                                                ZOLAlertNotification::kClassName,
                                                ZOLNotificationAction::kClassName,
                                                "NSString",
                                                "NSDictionary",
                                                "NSArray",
                                                "NSNumber"};
  return classes;
}

}  // namespace vozi

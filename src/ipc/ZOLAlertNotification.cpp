#include "ipc/ZOLAlertNotification.h"

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace vozi {

std::shared_ptr<ZOLAlertNotification> ZOLAlertNotification::make(std::optional<std::string> identifier,
                                                                  std::optional<std::string> title,
                                                                  std::optional<std::string> inforamtiveText,
                                                                  std::uint64_t type) {
  return makeAs<ZOLAlertNotification>(std::move(identifier), std::move(title), std::move(inforamtiveText), type);
}

void ZOLAlertNotification::encode(platform::KeyedArchiver& archiver) const {
  ZOLDefaultNotification::encode(archiver);
  if (additionalActions_)
    archiver.encodeArray("additionalActions", *additionalActions_);
  else
    archiver.encodeNull("additionalActions");
}

void ZOLAlertNotification::decodeFields(platform::KeyedUnarchiver& unarchiver) {
  ZOLDefaultNotification::decodeFields(unarchiver);
  static const platform::AllowedClasses kActions{ZOLNotificationAction::kClassName};
  // Absent or $null: nil. An array that cannot be read fails the archive.
  if (!unarchiver.containsValueForKey("additionalActions")) return;
  additionalActions_ = unarchiver.decodeArrayForKey<ZOLNotificationAction>("additionalActions", kActions);
}

}  // namespace vozi

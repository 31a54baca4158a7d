#include "ipc/ZOLNotificationAction.h"

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace vozi {

ZOLNotificationAction::ZOLNotificationAction(platform::KeyedUnarchiver& unarchiver)
    : identifier_(unarchiver.decodeStringForKey("identifier")), title_(unarchiver.decodeStringForKey("title")) {}

void ZOLNotificationAction::encode(platform::KeyedArchiver& archiver) const {
  archiver.encode("identifier", identifier_);
  archiver.encode("title", title_);
}

}  // namespace vozi

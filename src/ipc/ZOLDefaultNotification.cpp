#include "ipc/ZOLDefaultNotification.h"

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace vozi {

std::shared_ptr<ZOLDefaultNotification> ZOLDefaultNotification::make(std::optional<std::string> identifier,
                                                                      std::optional<std::string> title,
                                                                      std::optional<std::string> inforamtiveText,
                                                                      std::uint64_t type) {
  return makeAs<ZOLDefaultNotification>(std::move(identifier), std::move(title), std::move(inforamtiveText), type);
}

void ZOLDefaultNotification::encode(platform::KeyedArchiver& archiver) const {
  ZOLNotification::encode(archiver);
  archiver.encode("title", title_);
  archiver.encode("inforamtiveText", inforamtiveText_);
  archiver.encode("actionButtonTitle", actionButtonTitle_);
}

void ZOLDefaultNotification::decodeFields(platform::KeyedUnarchiver& unarchiver) {
  ZOLNotification::decodeFields(unarchiver);
  title_ = unarchiver.decodeStringForKey("title");
  inforamtiveText_ = unarchiver.decodeStringForKey("inforamtiveText");
  actionButtonTitle_ = unarchiver.decodeStringForKey("actionButtonTitle");
}

}  // namespace vozi

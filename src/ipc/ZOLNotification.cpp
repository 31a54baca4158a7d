#include "ipc/ZOLNotification.h"

#include "platform/CocoaError.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace vozi {

std::shared_ptr<ZOLNotification> ZOLNotification::make(std::optional<std::string> identifier, std::uint64_t type) {
  if (!identifier) return nullptr;
  return std::make_shared<ZOLNotification>(std::move(*identifier), type);
}

void ZOLNotification::encode(platform::KeyedArchiver& archiver) const {
  archiver.encode("identifier", identifier_);
  archiver.encodeUInt64("type", type_);
  archiver.encodePropertyList("userInfo", userInfo_);
}

std::optional<ZOLNotification::Identity> ZOLNotification::decodeIdentity(platform::KeyedUnarchiver& unarchiver) {
  auto identifier = unarchiver.decodeStringForKey("identifier");
  const std::uint64_t type = unarchiver.decodeUInt64ForKey("type");
  if (!identifier) return std::nullopt;
  return Identity{std::move(*identifier), type};
}

void ZOLNotification::decodeFields(platform::KeyedUnarchiver& unarchiver) {
  auto userInfo = unarchiver.decodePropertyListForKey("userInfo");
  if (!userInfo || userInfo->isNull()) return;
  if (!userInfo->isDictionary()) {
    unarchiver.failWithError(platform::CocoaError::make(platform::CocoaError::coderReadCorrupt,
                                                        "a notification's userInfo is not a dictionary"));
    return;
  }
  userInfo_ = std::move(*userInfo);
}

}  // namespace vozi

#include "common/ZOLMApplicationState.h"

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace vozi {

ZOLMApplicationState::ZOLMApplicationState(const platform::Value::Dictionary& plistRepresentation) {
  const auto found = plistRepresentation.find("userID");
  if (found != plistRepresentation.end() && found->second.asString()) userID_ = *found->second.asString();
}

ZOLMApplicationState::ZOLMApplicationState(platform::KeyedUnarchiver& unarchiver)
    : userID_(unarchiver.decodeStringForKey("userID")) {}

void ZOLMApplicationState::encode(platform::KeyedArchiver& archiver) const { archiver.encode("userID", userID_); }

platform::Value::Dictionary ZOLMApplicationState::plistRepresentation() const {
  platform::Value::Dictionary dictionary;
  if (userID_) dictionary["userID"] = platform::Value(*userID_);
  return dictionary;
}

}  // namespace vozi

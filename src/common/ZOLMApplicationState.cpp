#include "common/ZOLMApplicationState.h"

namespace vozi {

ZOLMApplicationState::ZOLMApplicationState(const platform::Value::Dictionary& plistRepresentation) {
  const auto found = plistRepresentation.find("userID");
  if (found != plistRepresentation.end() && found->second.asString()) userID_ = *found->second.asString();
}

platform::Value::Dictionary ZOLMApplicationState::plistRepresentation() const {
  platform::Value::Dictionary dictionary;
  if (userID_) dictionary["userID"] = platform::Value(*userID_);
  return dictionary;
}

}  // namespace vozi

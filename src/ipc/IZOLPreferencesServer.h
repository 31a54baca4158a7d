#pragma once

#include <memory>

#include "common/ZOLMPreferences.h"

namespace vozi {

// The user's preferences. Called on the connection's queue.
class IZOLPreferencesServer {
 public:
  virtual ~IZOLPreferencesServer() = default;
  // The answer comes as IZOLPreferencesClient::handleRequestedPreferences.
  virtual void requestPreferences() = 0;
  // `preferences` is null when the UI sent nil.
  virtual void updateWith(std::shared_ptr<ZOLMPreferences> preferences) = 0;
};

}  // namespace vozi

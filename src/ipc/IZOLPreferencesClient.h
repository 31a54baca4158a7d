#pragma once

#include <memory>

#include "common/ZOLMPreferences.h"

namespace vozi {

// The UI receives the preferences it asked for with requestPreferences.
class IZOLPreferencesClient {
 public:
  virtual ~IZOLPreferencesClient() = default;
  virtual void handleRequestedPreferences(std::shared_ptr<ZOLMPreferences> preferences) = 0;
};

}  // namespace vozi

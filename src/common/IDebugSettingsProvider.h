#pragma once

#include <optional>
#include <string>

#include "platform/Value.h"

namespace vozi {

// Where overrides of the background services' timing values come from.
class IDebugSettingsProvider {
 public:
  virtual ~IDebugSettingsProvider() = default;
  // The settings of a named domain, or none.
  virtual std::optional<platform::Value::Dictionary> settingsForDomain(const std::string& domain) = 0;
};

}  // namespace vozi

#pragma once

#include <optional>
#include <string>

#include "platform/Value.h"

namespace vozi {

// What the application state offers to its readers.
class ZOLMIApplicationState {
 public:
  virtual ~ZOLMIApplicationState() = default;
  virtual const std::optional<std::string>& userID() const = 0;
  virtual platform::Value::Dictionary plistRepresentation() const = 0;
};

}  // namespace vozi

#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Date.h"
#include "platform/Value.h"
#include "platform/store/ManagedObject.h"

namespace vozi {

// The stored user identity: one row.
class MOApplicationState : public platform::ManagedObject {
 public:
  static constexpr std::string_view kEntityName = "MOApplicationState";

  std::optional<std::string> generatedUserId() const { return ManagedObject::string("generatedUserId"); }
  void setGeneratedUserId(std::optional<std::string> value) { ManagedObject::setString("generatedUserId", std::move(value)); }
  std::optional<std::string> userEmail() const { return ManagedObject::string("userEmail"); }
  void setUserEmail(std::optional<std::string> value) { ManagedObject::setString("userEmail", std::move(value)); }
  std::optional<std::string> userId() const { return ManagedObject::string("userId"); }
  void setUserId(std::optional<std::string> value) { ManagedObject::setString("userId", std::move(value)); }
};

}  // namespace vozi

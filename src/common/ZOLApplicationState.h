#pragma once

#include <optional>
#include <string>

#include "common/ZOLMApplicationState.h"

namespace vozi {

// The daemon's in-memory application state: the user's e-mail address and
// the record exchanged with the interface, whose userID is the identifier
// the backend gave this installation (or, before that, one made here).
class ZOLApplicationState {
 public:
  ZOLApplicationState() = default;
  ZOLApplicationState(std::optional<std::string> userEmail, ZOLMApplicationState modelObject)
      : userEmail_(std::move(userEmail)), modelObject_(std::move(modelObject)) {}

  const std::optional<std::string>& userEmail() const { return userEmail_; }
  void setUserEmail(std::optional<std::string> email) { userEmail_ = std::move(email); }
  const ZOLMApplicationState& modelObject() const { return modelObject_; }
  ZOLMApplicationState& modelObject() { return modelObject_; }
  void setModelObject(ZOLMApplicationState modelObject) { modelObject_ = std::move(modelObject); }

 private:
  std::optional<std::string> userEmail_;
  ZOLMApplicationState modelObject_;
};

}  // namespace vozi

#pragma once

#include <memory>

#include "common/ZOLMUserData.h"

namespace vozi {

// The UI hands the daemon the user's data (e-mail and the like). Called on
// the connection's queue.
class IZOLDataServer {
 public:
  virtual ~IZOLDataServer() = default;
  // `userData` is null when the UI sent nil.
  virtual void sendWithUserData(std::shared_ptr<ZOLMUserData> userData) = 0;
};

}  // namespace vozi

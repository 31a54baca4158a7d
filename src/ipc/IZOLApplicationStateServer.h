#pragma once

#include <functional>
#include <memory>

#include "common/ZOLMApplicationState.h"

namespace vozi {

// The application state, asked for by a client. Called on the connection's
// queue; the reply may be empty.
class IZOLApplicationStateServer {
 public:
  virtual ~IZOLApplicationStateServer() = default;
  virtual void requestApplicationStateWithCompletionHandler(
      std::function<void(std::shared_ptr<ZOLMApplicationState>)> completionHandler) = 0;
};

}  // namespace vozi

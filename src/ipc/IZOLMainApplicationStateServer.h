#pragma once

#include <memory>

#include "common/ZOLMApplicationState.h"
#include "ipc/IZOLApplicationStateServer.h"

namespace vozi {

// The UI's side of the application state: it may also set it. Called on the
// connection's queue; `state` is null when the UI sent nil.
class IZOLMainApplicationStateServer : public virtual IZOLApplicationStateServer {
 public:
  virtual void updateApplicationState(std::shared_ptr<ZOLMApplicationState> state) = 0;
};

}  // namespace vozi

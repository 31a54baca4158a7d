#pragma once

#include <memory>

#include "common/ZOLMApplicationState.h"

namespace vozi {

// The UI hears of a new application state.
class IZOLApplicationStateClient {
 public:
  virtual ~IZOLApplicationStateClient() = default;
  // `fromBackend`: the state came from the backend.
  virtual void handleAppStateUpdate(std::shared_ptr<ZOLMApplicationState> state, bool fromBackend) = 0;
};

}  // namespace vozi

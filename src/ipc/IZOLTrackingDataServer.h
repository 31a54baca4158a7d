#pragma once

#include <functional>
#include <memory>

#include "common/ZOLMTrackingData.h"

namespace vozi {

// The tracking data, asked for by the UI. Called on the connection's queue;
// the reply (may be empty) carries null while the data are not retrieved.
class IZOLTrackingDataServer {
 public:
  virtual ~IZOLTrackingDataServer() = default;
  virtual void requestTrackingDataWithCompletionHandler(
      std::function<void(std::shared_ptr<ZOLMTrackingData>)> completionHandler) = 0;
};

}  // namespace vozi

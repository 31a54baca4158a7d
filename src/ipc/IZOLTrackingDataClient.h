#pragma once

#include <memory>

#include "common/ZOLMTrackingData.h"

namespace vozi {

// The UI receives tracking data.
class IZOLTrackingDataClient {
 public:
  virtual ~IZOLTrackingDataClient() = default;
  virtual void handleRequestedTrackingData(std::shared_ptr<ZOLMTrackingData> trackingData) = 0;
};

}  // namespace vozi

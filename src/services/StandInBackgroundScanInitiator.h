#pragma once

#include "services/IZOLBackgroundScanInitiator.h"

namespace vozi {

// No background scan: the daemon scans when its clients ask.
class StandInBackgroundScanInitiator : public IZOLBackgroundScanInitiator {
 public:
  void setup(std::weak_ptr<ZOLBackgroundScanHandler>, platform::DispatchQueuePtr,
             std::shared_ptr<SanitizingProcessor>) override {}
  void start() override {}
  void stop() override {}
};

}  // namespace vozi

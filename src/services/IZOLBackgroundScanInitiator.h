#pragma once

#include <memory>

#include "platform/DispatchQueue.h"
#include "sanitizers/SanitizingProcessor.h"
#include "services/ZOLBackgroundScanHandler.h"

namespace vozi {

// The periodic background scan. It scans with the server's one processor
// (so a foreground request and the background scan never run apart) and
// reports to its handler on the given queue. start() and stop() may be
// called again and again: every foreground scan or clean stops it and starts
// it again when it ends. Called on the server's data-sync queue.
class IZOLBackgroundScanInitiator {
 public:
  virtual ~IZOLBackgroundScanInitiator() = default;
  virtual void setup(std::weak_ptr<ZOLBackgroundScanHandler> handler, platform::DispatchQueuePtr queue,
                     std::shared_ptr<SanitizingProcessor> sanitizingProcessor) = 0;
  virtual void start() = 0;
  // Stops the schedule and cancels a background scan that is running.
  virtual void stop() = 0;
};

}  // namespace vozi

#pragma once

#include <memory>

#include "common/ZOLMApplicationState.h"
#include "common/ZOLMTrackingData.h"
#include "ipc/IZOLGAEventSender.h"

namespace vozi {

// The analytics sender: it sends an event only once it knows the
// installation's state and retrieved tracking data, and holds events back
// until then. The server tells it both as they change, on its data-sync
// queue; the agent link hands it the agent's events from the agent's
// connection.
class IGAEventSender : public IZOLGAEventSender {
 public:
  virtual void setAppState(std::shared_ptr<ZOLMApplicationState> appState) = 0;
  virtual void setTrackingData(std::shared_ptr<ZOLMTrackingData> trackingData) = 0;
  // Offers every held-back event again.
  virtual void reportDelayedEvents() = 0;
};

}  // namespace vozi

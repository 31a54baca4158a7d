#pragma once

#include "services/IGAEventSender.h"

namespace vozi {

// No analytics service: events are dropped, the state and tracking data
// it is told are not kept.
class StandInGAEventSender : public IGAEventSender {
 public:
  void sendWithEvent(GAEventRecordPtr) override {}
  void setAppState(std::shared_ptr<ZOLMApplicationState>) override {}
  void setTrackingData(std::shared_ptr<ZOLMTrackingData>) override {}
  void reportDelayedEvents() override {}
};

}  // namespace vozi

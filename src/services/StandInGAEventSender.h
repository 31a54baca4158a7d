#pragma once

#include "ipc/IZOLGAEventSender.h"

namespace vozi {

// No analytics service: the agent's events are dropped.
class StandInGAEventSender : public IZOLGAEventSender {
 public:
  void sendWithEvent(GAEventRecordPtr) override {}
};

}  // namespace vozi

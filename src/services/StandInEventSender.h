#pragma once

#include "services/IZOLEventSender.h"

namespace vozi {

// No backend to send usage events to: they are dropped.
class StandInEventSender : public IZOLEventSender {
 public:
  void scheduleSendStoredEvents() override {}
  void sendEvent(const ZOLEvent&) override {}
};

}  // namespace vozi

#pragma once

#include "common/ZOLEvent.h"

namespace vozi {

// Usage events bound for the backend: each is stored first, so that none is
// lost while the backend cannot be reached, and sent in order. May be called
// from any thread; returns at once.
class IZOLEventSender {
 public:
  virtual ~IZOLEventSender() = default;
  // Sends what earlier runs stored and could not send.
  virtual void scheduleSendStoredEvents() = 0;
  virtual void sendEvent(const ZOLEvent& event) = 0;
};

}  // namespace vozi

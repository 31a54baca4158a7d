#pragma once

#include "ipc/GAEventRecord.h"

namespace vozi {

// Takes analytics events to send. Over the agent service it is called on
// the connection's queue.
class IZOLGAEventSender {
 public:
  virtual ~IZOLGAEventSender() = default;
  // `event` is null when the peer sent nil.
  virtual void sendWithEvent(GAEventRecordPtr event) = 0;
};

}  // namespace vozi

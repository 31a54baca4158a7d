#pragma once

#include <memory>
#include <string>

#include "ipc/ZOLINotificationHandler.h"
#include "ipc/ZOLINotificationScheduler.h"

namespace vozi {

// The daemon's notification centre, in the process only (it never crosses
// a service): the scheduler's calls go on to the agent, and the handler
// registered under a notification's identifier hears what the user did with
// it. Any thread.
class ZOLINotificationCenter : public virtual ZOLINotificationScheduler {
 public:
  // Replaces any handler registered under the identifier.
  virtual void registerHandler(std::shared_ptr<ZOLINotificationHandler> handler, std::string identifier) = 0;
  // Removes whatever handler is registered under the identifier.
  virtual void unregisterHandler(std::shared_ptr<ZOLINotificationHandler> handler, std::string identifier) = 0;
};

}  // namespace vozi

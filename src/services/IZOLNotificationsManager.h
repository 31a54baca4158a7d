#pragma once

#include <vector>

#include "common/ApplicationItem.h"
#include "common/ItemGroup.h"
#include "common/ZOLApplicationState.h"

namespace vozi {

// Decides which notifications the user sees (scan results, features, a
// removed application) and posts them through the agent link. Called on the
// server's data-sync queue.
class IZOLNotificationsManager {
 public:
  virtual ~IZOLNotificationsManager() = default;
  // Begins the periodic backend check of notifications.
  virtual void start() = 0;
  virtual void unscheduleCheckForNotifications() = 0;
  virtual void setApplicationState(const ZOLApplicationState& applicationState) = 0;
  virtual void handleBackgroundScanFinish(const std::vector<ItemGroupPtr>& groups) = 0;
  virtual void handleApplicationRemoved(const std::shared_ptr<ApplicationItem>& application) = 0;
};

}  // namespace vozi

#pragma once

#include "services/IZOLNotificationsManager.h"

namespace vozi {

// No notifications are decided or posted.
class StandInNotificationsManager : public IZOLNotificationsManager {
 public:
  void start() override {}
  void unscheduleCheckForNotifications() override {}
  void setApplicationState(const ZOLApplicationState&) override {}
  void handleBackgroundScanFinish(const std::vector<ItemGroupPtr>&) override {}
  void handleApplicationRemoved(const std::shared_ptr<ApplicationItem>&) override {}
};

}  // namespace vozi

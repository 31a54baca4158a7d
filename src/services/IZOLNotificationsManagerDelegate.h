#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/ItemGroup.h"

namespace vozi {

// What the notifications manager may ask of the server: read stored scan
// results and clean groups the user chose from a notification. The handlers
// run on the server's data-sync queue.
class IZOLNotificationsManagerDelegate {
 public:
  using GroupsHandler = std::function<void(std::vector<ItemGroupPtr>)>;

  virtual ~IZOLNotificationsManagerDelegate() = default;
  // The handler gets the cleaned groups as the store holds them afterwards.
  virtual void startCleanOperation(std::vector<ItemGroupPtr> groups, GroupsHandler completionHandler) = 0;
  // The stored groups of those names (ItemGroupName raw values).
  virtual void requestScannedData(std::vector<std::string> groupNames, GroupsHandler completionHandler) = 0;
};

}  // namespace vozi

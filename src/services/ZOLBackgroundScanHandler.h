#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/ItemGroup.h"
#include "common/ZOLMPreferences.h"
#include "platform/Date.h"

namespace vozi {

class IZOLBackgroundScanInitiator;

// What the periodic background scan asks of its owner and tells it, always
// on the queue given to IZOLBackgroundScanInitiator::setup.
class ZOLBackgroundScanHandler {
 public:
  virtual ~ZOLBackgroundScanHandler() = default;
  // The session user's name and the user's preferences; the scan runs only
  // when both are there.
  virtual std::optional<std::string> backgroundScanUserName() = 0;
  virtual std::optional<ZOLMPreferences> backgroundScanPreferences() = 0;
  // One scanned group, then all of them once the scan is over.
  virtual void scanInitiatorDidScan(IZOLBackgroundScanInitiator& initiator, const ItemGroupPtr& group) = 0;
  virtual void scanInitiatorDidCompleteScanningGroups(IZOLBackgroundScanInitiator& initiator,
                                                      const std::vector<ItemGroupPtr>& groups, platform::Date at) = 0;
};

}  // namespace vozi

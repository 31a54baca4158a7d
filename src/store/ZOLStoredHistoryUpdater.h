#pragma once

#include "common/ZOLMItemGroupHistory.h"
#include "platform/store/EntityDescription.h"
#include "platform/store/ManagedObjectContext.h"
#include "store/MOItemGroup.h"

namespace vozi {

// The history arithmetic of the store. A runtime history brings the size of
// the latest scan or clean and its date; the stored history keeps those and
// adds the size to its running total (the runtime total is not read).
class ZOLStoredHistoryUpdater {
 public:
  // Nothing happens without a runtime history. The stored history is created
  // (with the given entity, in moc) on first use.
  static void updateScanningHistory(const ItemGroupHistoryPtr& newScanningHistory, MOItemGroup& storedItemGroup,
                                    const platform::EntityDescription& entityDescription,
                                    platform::ManagedObjectContext& moc);
  static void updateCleaningHistory(const ItemGroupHistoryPtr& newCleaningHistory, MOItemGroup& storedItemGroup,
                                    const platform::EntityDescription& entityDescription,
                                    platform::ManagedObjectContext& moc);
};

}  // namespace vozi

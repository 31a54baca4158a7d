#include "store/ZOLStoredHistoryUpdater.h"

#include "store/CoreDataFatalError.h"
#include "store/StoredValues.h"

namespace vozi {

namespace {

template <class Stored>
std::shared_ptr<Stored> insertHistory(const platform::EntityDescription& entityDescription,
                                      platform::ManagedObjectContext& moc) {
  auto history = moc.insertNewObject<Stored>(entityDescription.name());
  if (!history) coreDataFatalError("Error creating entity description");
  return history;
}

void advanceHistory(MOItemGroupHistory& stored, const ZOLMItemGroupHistory& runtime) {
  const std::int64_t size = StoredValues::storedSize(runtime.size());
  stored.setLastDate(runtime.lastDate());
  stored.setLastSize(size);
  stored.setTotalSize(StoredValues::addedSize(stored.totalSize(), size));
}

}  // namespace

void ZOLStoredHistoryUpdater::updateScanningHistory(const ItemGroupHistoryPtr& newScanningHistory,
                                                    MOItemGroup& storedItemGroup,
                                                    const platform::EntityDescription& entityDescription,
                                                    platform::ManagedObjectContext& moc) {
  if (!newScanningHistory) return;
  auto stored = storedItemGroup.scanningHistory();
  if (!stored) {
    stored = insertHistory<MOItemGroupScanningHistory>(entityDescription, moc);
    storedItemGroup.setScanningHistory(stored);
  }
  advanceHistory(*stored, *newScanningHistory);
}

void ZOLStoredHistoryUpdater::updateCleaningHistory(const ItemGroupHistoryPtr& newCleaningHistory,
                                                    MOItemGroup& storedItemGroup,
                                                    const platform::EntityDescription& entityDescription,
                                                    platform::ManagedObjectContext& moc) {
  if (!newCleaningHistory) return;
  auto stored = storedItemGroup.cleaningHistory();
  if (!stored) {
    stored = insertHistory<MOItemGroupCleaningHistory>(entityDescription, moc);
    storedItemGroup.setCleaningHistory(stored);
  }
  advanceHistory(*stored, *newCleaningHistory);
}

}  // namespace vozi

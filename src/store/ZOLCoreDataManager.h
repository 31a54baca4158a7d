#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/ItemGroup.h"
#include "common/ItemGroupName.h"
#include "store/BaseCoreDataManager.h"
#include "store/MOItemGroup.h"
#include "store/ZOLCoreDataEntityLoader.h"

namespace vozi {

// Keeps the results of scans and cleans in the store "VOZi": the stored
// mirror of the item-group tree, with each top-level group's scanning and
// cleaning history. It is the only writer of that tree.
//
// The three operations queue their work on the store's context and return at
// once; the blocks run one at a time in submission order, and each completion
// runs on the context's queue after the block's save. Failures of the store
// stop the process; nothing is reported to the caller.
//
// What stays in the file is exactly what the groups hold: a record that no
// group holds any more (detached by a rescan or a clean, or left behind by a
// deleted nested group) is deleted in the same save. Each top-level group has
// records of its own: two groups that found the same file each hold a record
// of it, so a rescan or clean of one never changes the other.
class ZOLCoreDataManager : public BaseCoreDataManager {
 public:
  using Completion = std::function<void()>;
  using GroupsCompletion = std::function<void(std::vector<ItemGroupPtr>)>;

  // Opens "/Library/Application Support/div.ez.iru/VOZi.sqlite" under the host root.
  ZOLCoreDataManager();
  // Waits for the blocks already queued. Must not run inside one of its own
  // completions: that stops the process rather than free the object under
  // the blocks still queued.
  ~ZOLCoreDataManager() override;

  // Merges a scanned top-level group into its stored twin: every level's
  // members become the scanned ones (records of unchanged items are kept and
  // updated), the scanning history advances, all in one save.
  void updateAfterScanning(ItemGroupPtr item, Completion completion = {});
  // Takes a cleaned group's items (the ones removed) out of the stored tree,
  // lowers the stored sizes and advances the cleaning history. A nested group
  // left empty, or a duplicate set left with one file, goes with its records.
  // The memory group instead takes the cleaned group's items as its own.
  void updateAfterCleaning(ItemGroupPtr item, Completion completion = {});
  // The runtime group of each name, each name taken once: first the stored
  // ones in the order of the names, then new (empty) ones for the names that
  // had none, which are stored.
  void loadOrCreateItemGroups(std::vector<ItemGroupName> names, GroupsCompletion completion = {});

  // Only for use on the context's queue.
  const std::shared_ptr<ZOLCoreDataEntityLoader>& entityLoader() const { return entityLoader_; }

 private:
  struct Pass;

  MOItemGroupPtr updateAfterScanning(const ItemGroup& itemGroup, bool isTopLevelGroup, Pass& pass);
  MOModelItemPtr updateAfterScanning(const ModelItemPtr& runTimeItem, Pass& pass);
  void update(MOModelItem& storedItem, const IModelItem& runtimeItem, std::optional<std::string> identifier);
  MOItemGroupPtr updateAfterCleaning(const ItemGroup& itemGroup, bool isTopLevelGroup, Pass& pass);
  void updateGroupAfterCleaning(const ItemGroup& itemGroup, MOItemGroup& parent, Pass& pass);
  MOItemGroupPtr loadOrCreateItemGroup(const ItemGroup& runtimeItemGroup);
  MOModelItemPtr insertStoredItem(const IModelItem& runtimeItem);
  MOModelItemPtr insertStoredItem(const platform::EntityDescription& entity);
  const platform::EntityDescription& entityDescription(std::string_view name) const;
  void deleteUnheld(Pass& pass);
  // Points the item's index entry at its record, and notes a new record's
  // entry for the identity its save gives it.
  void record(Pass& pass, platform::ObjectID& entry, const MOModelItemPtr& stored);
  void finish(Pass& pass);

  std::shared_ptr<ZOLCoreDataEntityLoader> entityLoader_;
};

}  // namespace vozi

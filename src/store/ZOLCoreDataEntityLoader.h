#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/IModelItem.h"
#include "common/ItemGroup.h"
#include "common/ItemGroupName.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ObjectID.h"
#include "store/MOItemGroup.h"
#include "store/MOModelItem.h"

namespace vozi {

// Finds the stored records of the "VOZi" store for runtime records, and loads
// whole top-level groups as runtime groups.
//
// The identifier index maps the identifier of a runtime item to the stored
// record written from it, so that a scan or clean finds the stored twin of
// each item without a fetch per item. It is kept per top-level group (its
// scope, the top-level group's identifier): the same file found by two kinds
// of scan, or the same language under the system's and the applications'
// languages, has one stored record in each tree, never one shared between
// them, so that a rescan or a clean of one group never reaches into another.
// The top-level groups themselves are not in the index; they are fetched.
//
// Used only on the context's queue, from inside the store manager's blocks.
class ZOLCoreDataEntityLoader {
 public:
  explicit ZOLCoreDataEntityLoader(std::shared_ptr<platform::ManagedObjectContext> moc);

  const std::shared_ptr<platform::ManagedObjectContext>& moc() const { return moc_; }

  // The first time: indexes the tree of every stored top-level group.
  void preloadIndexesIfNeeded();

  // The stored record recorded under the item's identifier in the tree of
  // the top-level group `scope`; null when there is none or it no longer
  // exists (then the entry goes, with a log line).
  MOModelItemPtr loadStoredItem(const IModelItem& item, const std::string& scope);
  MOModelItemPtr loadStoredItem(const std::string& identifier, const std::string& scope);
  // The entry of an identifier in a scope, made (naming nothing) when there
  // is none: one look-up to find a record and to record its successor. It
  // stays where it is for as long as erasures() does not move.
  platform::ObjectID& entry(const std::string& scope, const std::string& identifier);
  // The record an entry names; null, with a log line, when it is gone.
  MOModelItemPtr storedItem(const platform::ObjectID& id);
  // Forgets the entries of the group's scope and records every stored
  // descendant of the top-level group again, under its identifier.
  void recursiveUpdateIndexes(const MOItemGroup& storedItemGroup);
  // How many times entries were taken out of the index.
  std::uint64_t erasures() const { return erasures_; }
  // Moves every entry of the scope that names a record by one of the
  // temporary identities of `moved` to the record's permanent one (after a
  // save).
  void replaceStoredItems(const std::string& scope,
                          const std::unordered_map<platform::ObjectID, platform::ObjectID, platform::ObjectIDHash>& moved);
  // Forgets the entry when it still names that record.
  void removeStoredItem(const std::string& scope, const std::string& identifier, const platform::ObjectID& objectID);

  // The stored top-level group for a runtime group: the group of entity "MO"
  // + the runtime class whose identifier (or, failing that, name) is the
  // runtime group's; unsaved groups of the context are seen too.
  MOItemGroupPtr loadStoredItemGroup(const ItemGroup& itemGroup);
  // The runtime group of each name whose top-level group is stored, in the
  // order of the names; also indexes their trees.
  std::vector<ItemGroupPtr> loadItemGroups(const std::vector<ItemGroupName>& names);

  // The scope of a stored top-level group and of a runtime one.
  static std::string scopeOf(const MOItemGroup& topLevelGroup);
  static std::string scopeOf(const ItemGroup& topLevelGroup);

  // The number of entries, over every scope.
  std::size_t indexedItemCount() const;
  std::size_t indexedItemCount(const std::string& scope) const;

 private:
  using Index = std::unordered_map<std::string, platform::ObjectID>;
  MOItemGroupPtr fetchTopLevelGroup(const std::string& entityName, const std::string& key, const std::string& value,
                                    bool exactEntity);

  // runTimeIdentifiersMap: scope -> (identifier -> stored record).
  std::unordered_map<std::string, Index> runTimeIdentifiersMap_;
  std::shared_ptr<platform::ManagedObjectContext> moc_;
  std::uint64_t erasures_ = 0;
  bool preloaded_ = false;
};

}  // namespace vozi

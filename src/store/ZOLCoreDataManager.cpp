#include "store/ZOLCoreDataManager.h"

#include <algorithm>
#include <unordered_set>

#include "common/FileItem.h"
#include "common/ITypedItem.h"
#include "common/MLog.h"
#include "common/MemoryGroup.h"
#include "common/MemoryItem.h"
#include "platform/Fatal.h"
#include "store/CoreDataFatalError.h"
#include "store/IModelItemCoreDataExtensions.h"
#include "store/ItemGroupNameCoreDataExtensions.h"
#include "store/MODuplicateItem.h"
#include "store/MOFileItem.h"
#include "store/MOMemoryItem.h"
#include "store/MOTypedFileItem.h"
#include "store/StoredValues.h"
#include "store/VOZiModel.h"
#include "store/ZOLStoredHistoryUpdater.h"

namespace vozi {

// One merge of a top-level group: the tree it works in and the records it
// took out of groups, which go at the end unless some group still holds them.
struct ZOLCoreDataManager::Pass {
  struct Fresh {
    platform::ObjectID* entry;  // the record's index entry, valid while no entry was taken out
    platform::ObjectID temporary;
    MOModelItemPtr record;
  };
  std::string scope;
  std::uint64_t erasuresAtStart = 0;
  std::vector<MOModelItemPtr> detached;
  // Records indexed under identities that the save replaces.
  std::vector<Fresh> fresh;
  // Nesting of the group being merged; trees from a client can be anything.
  int depth = 0;
  // The stored groups merged so far. None is taken again: a group that holds
  // itself (or one of its ancestors) in the runtime tree gets new records
  // there, so the stored tree never holds a loop.
  std::unordered_set<const platform::ManagedObject*> merged;
};

namespace {

// Real trees are three levels deep at most; anything far deeper (or a tree
// that holds itself) is not walked further.
constexpr int kMaxDepth = 32;

// Counts a level of nesting for as long as it lives.
class Nesting {
 public:
  explicit Nesting(int& depth) : depth_(depth) { ++depth_; }
  ~Nesting() { --depth_; }
  Nesting(const Nesting&) = delete;
  Nesting& operator=(const Nesting&) = delete;
  bool tooDeep() const { return depth_ > kMaxDepth; }

 private:
  int& depth_;
};

std::string nameOrNoName(const ItemGroup& group) { return group.name().value_or("No Name"); }

std::string historyText(const std::shared_ptr<MOItemGroupHistory>& history) {
  return history ? history->historyDescription() : "nil";
}

}  // namespace

ZOLCoreDataManager::ZOLCoreDataManager()
    : BaseCoreDataManager("VOZi", [](std::string* failure) { return VOZiModel::make(failure); }),
      entityLoader_(std::make_shared<ZOLCoreDataEntityLoader>(moc())) {}

ZOLCoreDataManager::~ZOLCoreDataManager() {
  // The queued blocks use this object, so they must finish first; from one of
  // them (a completion dropping the last owner) that cannot be waited for,
  // and the blocks behind it would run on a freed object.
  if (moc()->queue()->isCurrent()) platform::fatalStop("ZOLCoreDataManager destroyed from a block of its own queue");
  moc()->performAndWait([] {});
}

// ---- public operations ------------------------------------------------------

void ZOLCoreDataManager::updateAfterScanning(ItemGroupPtr item, Completion completion) {
  moc()->perform([this, item = std::move(item), completion = std::move(completion)] {
    entityLoader_->preloadIndexesIfNeeded();
    if (item) {
      Pass pass;
      pass.scope = ZOLCoreDataEntityLoader::scopeOf(*item);
      pass.erasuresAtStart = entityLoader_->erasures();
      updateAfterScanning(*item, true, pass);
    }
    if (completion) completion();
  });
}

void ZOLCoreDataManager::updateAfterCleaning(ItemGroupPtr item, Completion completion) {
  moc()->perform([this, item = std::move(item), completion = std::move(completion)] {
    entityLoader_->preloadIndexesIfNeeded();
    if (item) {
      Pass pass;
      pass.scope = ZOLCoreDataEntityLoader::scopeOf(*item);
      pass.erasuresAtStart = entityLoader_->erasures();
      updateAfterCleaning(*item, true, pass);
    }
    if (completion) completion();
  });
}

void ZOLCoreDataManager::loadOrCreateItemGroups(std::vector<ItemGroupName> names, GroupsCompletion completion) {
  moc()->perform([this, names = std::move(names), completion = std::move(completion)] {
    // Each name once: a name given twice must not make two stored groups.
    std::vector<ItemGroupName> unique;
    for (ItemGroupName name : names)
      if (std::find(unique.begin(), unique.end(), name) == unique.end()) unique.push_back(name);

    std::vector<ItemGroupPtr> loaded = entityLoader_->loadItemGroups(unique);
    std::vector<ItemGroupPtr> created;
    for (ItemGroupName name : unique) {
      const std::string raw(rawValue(name));
      const bool stored = std::any_of(loaded.begin(), loaded.end(),
                                      [&](const ItemGroupPtr& group) { return group->name() == raw; });
      if (stored) continue;
      const std::string entityName = ItemGroupNameCoreDataExtensions::storedEntityName(name);
      auto group = moc()->insertNewObject<MOItemGroup>(entityDescription(entityName).name());
      if (!group) coreDataFatalError("Error creating entity description");
      group->setName(raw);
      if (ItemGroupPtr runtime = group->createRuntimeModel()) {
        group->setIdentifier(runtime->identifier());
        created.push_back(std::move(runtime));
      }
    }
    // Also commits identifiers that loading brought up to date.
    save();
    if (completion) {
      loaded.insert(loaded.end(), created.begin(), created.end());
      completion(std::move(loaded));
    }
  });
}

// ---- scanning ---------------------------------------------------------------

MOItemGroupPtr ZOLCoreDataManager::updateAfterScanning(const ItemGroup& itemGroup, bool isTopLevelGroup, Pass& pass) {
  const Nesting nesting(pass.depth);
  if (nesting.tooDeep()) return nullptr;
  if (isTopLevelGroup)
    MLog("SAVE_AFTER_SCAN: Saving scan results for itemGroup: " + nameOrNoName(itemGroup) + " started");

  MOItemGroupPtr stored;
  if (isTopLevelGroup) {
    stored = loadOrCreateItemGroup(itemGroup);
  } else {
    // A nested group without an identifier (an empty duplicate set, an
    // application without its bundle) could never be found or rebuilt.
    const auto identifier = itemGroup.identifier();
    if (!identifier) return nullptr;
    const platform::EntityDescription& entity = IModelItemCoreDataExtensions::storedModelClass(itemGroup, *mom());
    platform::ObjectID& entry = entityLoader_->entry(pass.scope, *identifier);
    if (entry)
      if (auto found = entityLoader_->storedItem(entry);
          found && &found->entity() == &entity && !pass.merged.count(found.get()))
        stored = std::dynamic_pointer_cast<MOItemGroup>(found);
    if (!stored) {
      stored = std::dynamic_pointer_cast<MOItemGroup>(moc()->insertNewObject(entity));
      if (!stored) coreDataFatalError("Error creating entity description");
    }
    record(pass, entry, stored);
  }
  pass.merged.insert(stored.get());

  stored->updateWithRuntimeModel(itemGroup);

  if (isTopLevelGroup) {
    MLog("SAVE_AFTER_SCAN: Stored group items count before saving: " + std::to_string(stored->itemsCount()));
    MLog("SAVE_AFTER_SCAN: Runtime group items count on saving: " + std::to_string(itemGroup.count()));
    MLog("SAVE_AFTER_SCAN: Stored group scanningHistory before saving: " + historyText(stored->scanningHistory()));
  }

  // Nested groups seldom have a history: the entity is looked up only for one.
  if (const ItemGroupHistoryPtr history = itemGroup.scanningHistory())
    ZOLStoredHistoryUpdater::updateScanningHistory(history, *stored,
                                                   entityDescription(MOItemGroupScanningHistory::kEntityName), *moc());

  // The members become the scanned items. Records of items scanned before
  // are kept (and updated); the others are detached, and deleted at the end
  // when nothing holds them.
  const std::vector<MOModelItemPtr> previous = stored->items();
  std::unordered_set<const platform::ManagedObject*> kept;  // only asked when there were records before
  if (!previous.empty()) kept.reserve(itemGroup.count());
  itemGroup.enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool&) {
    MOModelItemPtr member;
    if (const auto* group = dynamic_cast<const ItemGroup*>(item.get()))
      member = updateAfterScanning(*group, false, pass);
    else
      member = updateAfterScanning(item, pass);
    if (!member) return;
    if (!previous.empty()) kept.insert(member.get());
    stored->addItemsObject(member);
  });
  for (const MOModelItemPtr& old : previous) {
    if (kept.count(old.get())) continue;
    stored->removeItemsObject(old);
    pass.detached.push_back(old);
  }

  if (isTopLevelGroup) {
    finish(pass);
    MLog("SAVE_AFTER_SCAN: Saving scan results for itemGroup: " + nameOrNoName(itemGroup) + " finished");
    MLog("SAVE_AFTER_SCAN: Stored group items count after saving: " + std::to_string(stored->itemsCount()));
    MLog("SAVE_AFTER_SCAN: Stored group scanningHistory after saving: " + historyText(stored->scanningHistory()));
  }
  return stored;
}

// Places one leaf item: its record from the previous scan of this group when
// there is one of the item's own kind, else a new record.
MOModelItemPtr ZOLCoreDataManager::updateAfterScanning(const ModelItemPtr& runTimeItem, Pass& pass) {
  if (!runTimeItem) return nullptr;
  auto identifier = runTimeItem->identifier();
  if (!identifier) return nullptr;
  const platform::EntityDescription& entity = IModelItemCoreDataExtensions::storedModelClass(*runTimeItem, *mom());
  // Found and recorded through one index entry; nothing between touches the
  // index.
  platform::ObjectID& entry = entityLoader_->entry(pass.scope, *identifier);
  MOModelItemPtr stored;
  if (entry)
    if (auto found = entityLoader_->storedItem(entry); found && &found->entity() == &entity) stored = std::move(found);
  if (!stored) stored = insertStoredItem(entity);
  update(*stored, *runTimeItem, std::move(identifier));  // the entry holds its own copy
  record(pass, entry, stored);
  return stored;
}

void ZOLCoreDataManager::update(MOModelItem& storedItem, const IModelItem& runtimeItem,
                                std::optional<std::string> identifier) {
  std::optional<std::string> name;
  if (const auto* file = dynamic_cast<const FileItem*>(&runtimeItem)) {
    std::string path = file->path();
    name = file->nameOfPath(path);  // the path is decoded once for both
    if (auto* storedFile = dynamic_cast<MOFileItem*>(&storedItem)) {
      storedFile->setPath(std::move(path));
      storedFile->setLastOpenDate(file->lastOpenDate());
    }
    if (const auto* typed = dynamic_cast<const ITypedItem*>(&runtimeItem))
      if (auto* storedTyped = dynamic_cast<MOTypedFileItem*>(&storedItem))
        storedTyped->setFileType(StoredValues::storedFileType(typed->fileType()));
  } else {
    name = runtimeItem.name();
    if (const auto* memory = dynamic_cast<const MemoryItem*>(&runtimeItem))
      if (auto* storedMemory = dynamic_cast<MOMemoryItem*>(&storedItem))
        storedMemory->setInstalledMemorySize(StoredValues::storedSize(memory->installedMemorySize()));
  }
  storedItem.setSize(StoredValues::storedSize(runtimeItem.size()));
  storedItem.setName(std::move(name));
  storedItem.setIdentifier(std::move(identifier));
}

// ---- cleaning ---------------------------------------------------------------

MOItemGroupPtr ZOLCoreDataManager::updateAfterCleaning(const ItemGroup& itemGroup, bool isTopLevelGroup, Pass& pass) {
  const Nesting nesting(pass.depth);
  if (nesting.tooDeep()) return nullptr;
  MOItemGroupPtr stored;
  if (isTopLevelGroup) {
    stored = loadOrCreateItemGroup(itemGroup);
  } else {
    // Only a nested group this tree holds can be cleaned; one it doesn't
    // hold has nothing to take out (and making it would leave it in no group).
    stored = std::dynamic_pointer_cast<MOItemGroup>(entityLoader_->loadStoredItem(itemGroup, pass.scope));
    if (!stored) return nullptr;
  }
  stored->setName(itemGroup.name());
  stored->setIdentifier(itemGroup.identifier());

  const std::string storedName = stored->name().value_or("nil");
  if (isTopLevelGroup)
    MLog("SAVE_AFTER_CLEAN: Stored group cleaningHistory before saving: " + historyText(stored->cleaningHistory()));
  MLog("SAVE_AFTER_CLEAN: group " + storedName + " items count before saving: " + std::to_string(stored->itemsCount()));
  MLog("SAVE_AFTER_CLEAN: group " + itemGroup.name().value_or("nil") + " items count on saving: " +
       std::to_string(itemGroup.count()));

  if (const ItemGroupHistoryPtr history = itemGroup.cleaningHistory())
    ZOLStoredHistoryUpdater::updateCleaningHistory(history, *stored,
                                                   entityDescription(MOItemGroupCleaningHistory::kEntityName), *moc());

  if (!dynamic_cast<const MemoryGroup*>(&itemGroup)) {
    const std::uint64_t cleaned = itemGroup.size();
    const std::uint64_t before = StoredValues::runtimeSize(stored->size());
    stored->setSize(cleaned < before ? StoredValues::storedSize(before - cleaned) : 0);
    itemGroup.enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool&) {
      if (const auto* group = dynamic_cast<const ItemGroup*>(item.get())) {
        updateGroupAfterCleaning(*group, *stored, pass);
        return;
      }
      auto found = item ? entityLoader_->loadStoredItem(*item, pass.scope) : nullptr;
      if (!found || !found->identifier() || !stored->containsItemsObject(found)) return;
      stored->removeItemsObject(found);
      pass.detached.push_back(std::move(found));
    });
  } else {
    // The memory group holds exactly the readings of its latest clean.
    for (const MOModelItemPtr& old : stored->items()) {
      stored->removeItemsObject(old);
      pass.detached.push_back(old);
    }
    itemGroup.enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool&) {
      if (!item || dynamic_cast<const ItemGroup*>(item.get())) return;
      MOModelItemPtr reading = insertStoredItem(*item);
      const auto identifier = item->identifier();
      update(*reading, *item, identifier);
      stored->addItemsObject(reading);
      if (identifier) record(pass, entityLoader_->entry(pass.scope, *identifier), reading);
    });
  }

  MLog("SAVE_AFTER_CLEAN: group " + storedName + " items count before saving: " + std::to_string(stored->itemsCount()));

  if (isTopLevelGroup) finish(pass);
  return stored;
}

void ZOLCoreDataManager::updateGroupAfterCleaning(const ItemGroup& itemGroup, MOItemGroup& parent, Pass& pass) {
  MOItemGroupPtr child = updateAfterCleaning(itemGroup, false, pass);
  if (!child) return;
  bool remove = child->itemsCount() == 0;
  // A set of duplicates left with a single file is no set of duplicates any
  // more; that file's record leaves the tree with it.
  if (!remove && std::dynamic_pointer_cast<MODuplicateItem>(child) && child->itemsCount() == 1) {
    MOModelItemPtr last = child->items().front();
    child->removeItemsObject(last);
    pass.detached.push_back(std::move(last));
    remove = true;
  }
  if (!remove) return;
  // The parent no longer counts what the removed group still held.
  const std::uint64_t held = StoredValues::runtimeSize(child->size());
  const std::uint64_t parentSize = StoredValues::runtimeSize(parent.size());
  parent.setSize(StoredValues::storedSize(held < parentSize ? parentSize - held : 0));
  if (auto identifier = child->identifier())
    entityLoader_->removeStoredItem(pass.scope, *identifier, child->objectID());
  moc()->deleteObject(child);
}

// ---- shared -----------------------------------------------------------------

MOItemGroupPtr ZOLCoreDataManager::loadOrCreateItemGroup(const ItemGroup& runtimeItemGroup) {
  if (auto stored = entityLoader_->loadStoredItemGroup(runtimeItemGroup)) return stored;
  const std::string name = IModelItemCoreDataExtensions::storedModelName(runtimeItemGroup);
  auto stored = moc()->insertNewObject<MOItemGroup>(entityDescription(name).name());
  if (!stored) coreDataFatalError("Error creating entity description");
  return stored;
}

MOModelItemPtr ZOLCoreDataManager::insertStoredItem(const IModelItem& runtimeItem) {
  return insertStoredItem(entityDescription(IModelItemCoreDataExtensions::storedModelName(runtimeItem)));
}

MOModelItemPtr ZOLCoreDataManager::insertStoredItem(const platform::EntityDescription& entity) {
  auto stored = std::dynamic_pointer_cast<MOModelItem>(moc()->insertNewObject(entity));
  if (!stored) coreDataFatalError("Error creating entity description");
  return stored;
}

const platform::EntityDescription& ZOLCoreDataManager::entityDescription(std::string_view name) const {
  const platform::EntityDescription* entity = mom()->entity(name);
  if (!entity) coreDataFatalError("Error creating entity description");
  return *entity;
}

void ZOLCoreDataManager::record(Pass& pass, platform::ObjectID& entry, const MOModelItemPtr& stored) {
  entry = stored->objectID();
  if (entry.isTemporaryID()) pass.fresh.push_back({&entry, entry, stored});
}

// Ends the merge of a top-level group: deletes what no group holds, saves
// everything in one transaction, and points the index at the identities the
// new records got. The index then holds exactly the group's tree.
void ZOLCoreDataManager::finish(Pass& pass) {
  deleteUnheld(pass);
  save();
  // While no entry was taken out of the index, the entries recorded in this
  // pass are where they were, and are moved in place; else every entry of
  // the scope is looked at once.
  const bool entriesStayed = entityLoader_->erasures() == pass.erasuresAtStart;
  std::unordered_map<platform::ObjectID, platform::ObjectID, platform::ObjectIDHash> moved;
  for (const Pass::Fresh& fresh : pass.fresh) {
    if (!fresh.record->managedObjectContext() || fresh.record->isDeleted()) continue;
    if (!entriesStayed)
      moved.emplace(fresh.temporary, fresh.record->objectID());
    else if (*fresh.entry == fresh.temporary)
      *fresh.entry = fresh.record->objectID();
  }
  if (!entriesStayed) entityLoader_->replaceStoredItems(pass.scope, moved);
  pass.fresh.clear();
}

// Deletes the detached records that no group holds any more; a deleted group
// lets go of its members, which go too when nothing else holds them.
void ZOLCoreDataManager::deleteUnheld(Pass& pass) {
  std::vector<MOModelItemPtr> pending = std::move(pass.detached);
  pass.detached.clear();
  while (!pending.empty()) {
    MOModelItemPtr record = std::move(pending.back());
    pending.pop_back();
    if (!record->managedObjectContext() || record->isDeleted() || record->itemGroupCount() > 0) continue;
    if (auto group = std::dynamic_pointer_cast<MOItemGroup>(record)) {
      std::vector<MOModelItemPtr> members = group->items();
      pending.insert(pending.end(), members.begin(), members.end());
    }
    if (auto identifier = record->identifier())
      entityLoader_->removeStoredItem(pass.scope, *identifier, record->objectID());
    moc()->deleteObject(record);
  }
}

}  // namespace vozi

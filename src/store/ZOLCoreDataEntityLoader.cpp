#include "store/ZOLCoreDataEntityLoader.h"

#include <unordered_set>

#include "common/MLog.h"
#include "platform/store/ObjectStoreError.h"
#include "store/CoreDataFatalError.h"
#include "store/IModelItemCoreDataExtensions.h"
#include "store/ItemGroupNameCoreDataExtensions.h"
#include "store/ManagedObjectContextRead.h"

namespace vozi {

namespace {

// The first group that no group holds: a tree sent by a client may hold a
// group of a top-level kind and name further down, which is not the one.
MOItemGroupPtr firstTopLevel(const std::vector<platform::ManagedObjectPtr>& objects) {
  for (const auto& object : objects)
    if (auto group = std::dynamic_pointer_cast<MOItemGroup>(object); group && group->itemGroupCount() == 0) return group;
  return nullptr;
}

}  // namespace

ZOLCoreDataEntityLoader::ZOLCoreDataEntityLoader(std::shared_ptr<platform::ManagedObjectContext> moc)
    : moc_(std::move(moc)) {}

void ZOLCoreDataEntityLoader::preloadIndexesIfNeeded() {
  if (preloaded_) return;
  for (ItemGroupName name : kAllItemGroupNames) {
    const std::string raw(rawValue(name));
    auto group = fetchTopLevelGroup(ItemGroupNameCoreDataExtensions::storedEntityName(name), "name", raw, false);
    if (group) recursiveUpdateIndexes(*group);
  }
  // Groups stored from now on are indexed as they are saved.
  preloaded_ = true;
}

MOModelItemPtr ZOLCoreDataEntityLoader::loadStoredItem(const IModelItem& item, const std::string& scope) {
  const auto key = item.identifier();
  return key ? loadStoredItem(*key, scope) : nullptr;
}

MOModelItemPtr ZOLCoreDataEntityLoader::loadStoredItem(const std::string& key, const std::string& scope) {
  auto scoped = runTimeIdentifiersMap_.find(scope);
  if (scoped == runTimeIdentifiersMap_.end()) return nullptr;
  auto entry = scoped->second.find(key);
  if (entry == scoped->second.end()) return nullptr;
  MOModelItemPtr stored = storedItem(entry->second);
  if (!stored) {
    // The record is gone; a stale entry would fail the same way every time.
    scoped->second.erase(entry);
    ++erasures_;
  }
  return stored;
}

platform::ObjectID& ZOLCoreDataEntityLoader::entry(const std::string& scope, const std::string& identifier) {
  return runTimeIdentifiersMap_[scope].try_emplace(identifier).first->second;
}

MOModelItemPtr ZOLCoreDataEntityLoader::storedItem(const platform::ObjectID& id) {
  platform::Error error;
  platform::ManagedObjectPtr object = moc_->existingObject(id, &error);
  if (!object) {
    // A damaged file is no reason to go on without the record.
    if (platform::ObjectStoreError::isCorruption(error))
      coreDataFatalError("Can't read stored item: " + platform::ObjectStoreError::describe(error));
    MLog("Error on getting object from context: " + error.localizedDescription());
    return nullptr;
  }
  return std::dynamic_pointer_cast<MOModelItem>(object);
}

void ZOLCoreDataEntityLoader::recursiveUpdateIndexes(const MOItemGroup& storedItemGroup) {
  Index& index = runTimeIdentifiersMap_[scopeOf(storedItemGroup)];
  index.clear();
  ++erasures_;
  std::unordered_set<const MOItemGroup*> visited{&storedItemGroup};
  std::vector<MOItemGroupPtr> pending;
  auto recordMembers = [&](const MOItemGroup& group) {
    for (const MOModelItemPtr& member : group.items()) {
      if (auto identifier = member->identifier()) index.insert_or_assign(std::move(*identifier), member->objectID());
      if (auto child = std::dynamic_pointer_cast<MOItemGroup>(member); child && visited.insert(child.get()).second)
        pending.push_back(std::move(child));
    }
  };
  recordMembers(storedItemGroup);
  while (!pending.empty()) {
    MOItemGroupPtr group = std::move(pending.back());
    pending.pop_back();
    recordMembers(*group);
  }
}

void ZOLCoreDataEntityLoader::replaceStoredItems(
    const std::string& scope,
    const std::unordered_map<platform::ObjectID, platform::ObjectID, platform::ObjectIDHash>& moved) {
  auto scoped = runTimeIdentifiersMap_.find(scope);
  if (scoped == runTimeIdentifiersMap_.end() || moved.empty()) return;
  for (auto& [identifier, id] : scoped->second) {
    if (!id.isTemporaryID()) continue;
    if (auto it = moved.find(id); it != moved.end()) id = it->second;
  }
}

void ZOLCoreDataEntityLoader::removeStoredItem(const std::string& scope, const std::string& identifier,
                                               const platform::ObjectID& objectID) {
  auto scoped = runTimeIdentifiersMap_.find(scope);
  if (scoped == runTimeIdentifiersMap_.end()) return;
  auto entry = scoped->second.find(identifier);
  if (entry != scoped->second.end() && entry->second == objectID) {
    scoped->second.erase(entry);
    ++erasures_;
  }
}

MOItemGroupPtr ZOLCoreDataEntityLoader::fetchTopLevelGroup(const std::string& entityName, const std::string& key,
                                                           const std::string& value, bool exactEntity) {
  platform::FetchRequest request(entityName);
  request.predicate = platform::Predicate::equal(key, platform::Value(value));
  // A top-level group's entity is used for top-level groups only; the plain
  // group entities also have the nested kinds below them, which are not wanted.
  request.includesSubentities = !exactEntity;
  platform::Error error;
  auto objects = moc_->fetch(request, &error);
  if (!objects)
    coreDataFatalError("Can't read entity " + entityName + ": " + platform::ObjectStoreError::describe(error));
  return firstTopLevel(*objects);
}

MOItemGroupPtr ZOLCoreDataEntityLoader::loadStoredItemGroup(const ItemGroup& itemGroup) {
  const std::string entityName = IModelItemCoreDataExtensions::storedModelName(itemGroup);
  if (!moc_->persistentStoreCoordinator()->managedObjectModel()->entity(entityName)) return nullptr;
  if (auto identifier = itemGroup.identifier())
    if (auto group = fetchTopLevelGroup(entityName, "identifier", *identifier, true)) return group;
  // A group stored without its identifier is still found by its name.
  if (auto name = itemGroup.name()) return fetchTopLevelGroup(entityName, "name", *name, true);
  return nullptr;
}

std::vector<ItemGroupPtr> ZOLCoreDataEntityLoader::loadItemGroups(const std::vector<ItemGroupName>& names) {
  std::vector<ItemGroupPtr> result;
  for (ItemGroupName name : names) {
    const std::string raw(rawValue(name));
    auto objects = ManagedObjectContextRead::read(*moc_, ItemGroupNameCoreDataExtensions::storedEntityName(name),
                                                  std::nullopt, true, 0,
                                                  platform::Predicate::equal("name", platform::Value(raw)), false);
    auto stored = firstTopLevel(objects);
    if (!stored) continue;
    ItemGroupPtr runtime = stored->createRuntimeModel();
    if (!runtime) continue;
    stored->setIdentifier(runtime->identifier());
    recursiveUpdateIndexes(*stored);
    result.push_back(std::move(runtime));
  }
  return result;
}

std::string ZOLCoreDataEntityLoader::scopeOf(const MOItemGroup& topLevelGroup) {
  if (auto identifier = topLevelGroup.identifier()) return *identifier;
  return topLevelGroup.name().value_or("");
}

std::string ZOLCoreDataEntityLoader::scopeOf(const ItemGroup& topLevelGroup) {
  if (auto identifier = topLevelGroup.identifier()) return *identifier;
  return topLevelGroup.name().value_or("");
}

std::size_t ZOLCoreDataEntityLoader::indexedItemCount() const {
  std::size_t count = 0;
  for (const auto& [scope, index] : runTimeIdentifiersMap_) count += index.size();
  return count;
}

std::size_t ZOLCoreDataEntityLoader::indexedItemCount(const std::string& scope) const {
  auto scoped = runTimeIdentifiersMap_.find(scope);
  return scoped == runTimeIdentifiersMap_.end() ? 0 : scoped->second.size();
}

}  // namespace vozi

#include "common/ItemGroup.h"

#include "common/ModelItemArray.h"
#include "common/ModelItemDictionary.h"
#include "common/ModelItemOrderedSet.h"
#include "common/RecordCoding.h"
#include "common/RecordDescription.h"
#include "platform/URL.h"

namespace vozi {

namespace {

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }
std::uint64_t saturatingSubtract(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : 0; }

void walkLeaves(const IZOLModelItemCollection& items, const ModelItemLeafBlock& block) {
  items.enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool& stop) {
    if (const auto* group = dynamic_cast<const ItemGroup*>(item.get())) {
      if (group->items()) walkLeaves(*group->items(), block);
      return;
    }
    block(item, stop);
  });
}

}  // namespace

ItemGroup::ItemGroup(std::optional<std::string> name, std::uint64_t size,
                     const std::shared_ptr<IZOLModelItemCollection>& items, std::optional<std::string> /*identifier*/,
                     ItemGroupHistoryPtr scanningHistory, ItemGroupHistoryPtr cleaningHistory)
    : name_(std::move(name)),
      size_(size),
      items_(items ? items->mutableCopy() : nullptr),
      scanningHistory_(std::move(scanningHistory)),
      cleaningHistory_(std::move(cleaningHistory)) {}

ItemGroup::ItemGroup(platform::KeyedUnarchiver& unarchiver)
    : name_(unarchiver.decodeStringForKey("name")),
      size_(recordcoding::decodeUInt64(unarchiver, "size")),
      scanningHistory_(unarchiver.decodeObjectForKey<ZOLMItemGroupHistory>("scanningHistory")),
      cleaningHistory_(unarchiver.decodeObjectForKey<ZOLMItemGroupHistory>("cleaningHistory")) {
  // Read back for its type only: the identifier is derived from the name.
  unarchiver.decodeStringForKey("identifier");
}

void ItemGroup::encode(platform::KeyedArchiver& archiver) const {
  archiver.encodeObject("scanningHistory", scanningHistory_);
  archiver.encodeObject("cleaningHistory", cleaningHistory_);
  archiver.encode("identifier", identifier());
  if (!items_) {
    archiver.encodeNull("items");
  } else if (items_->kind() == ModelItemCollectionKind::dictionary) {
    std::vector<std::pair<std::string, ModelItemPtr>> entries;
    entries.reserve(items_->count());
    items_->enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey& key, bool&) {
      entries.emplace_back(std::get<std::string>(key), item);
    });
    archiver.encodeDictionary("items", entries, true);
  } else {
    std::vector<ModelItemPtr> children;
    children.reserve(items_->count());
    items_->enumerateObjects([&](const ModelItemPtr& item, const ModelItemKey&, bool&) { children.push_back(item); });
    if (items_->kind() == ModelItemCollectionKind::orderedSet) {
      archiver.encodeOrderedSet("items", children, true);
    } else {
      archiver.encodeArray("items", children, true);
    }
  }
  archiver.encode("name", name());
  recordcoding::encodeUInt64(archiver, "size", size_);
}

void ItemGroup::decodeItems(platform::KeyedUnarchiver& unarchiver) {
  // The records a group may hold, whatever their subclass.
  static const platform::AllowedClasses kChildClasses{"ItemGroup", "FileItem", "MemoryItem"};
  if (!unarchiver.containsValueForKey("items")) return;
  const auto empty = emptyItems();
  switch (empty ? empty->kind() : ModelItemCollectionKind::array) {
    case ModelItemCollectionKind::array:
      if (auto children = unarchiver.decodeArrayForKey<IModelItem>("items", kChildClasses)) {
        items_ = std::make_shared<ModelItemArray>(std::move(*children));
      }
      break;
    case ModelItemCollectionKind::orderedSet:
      if (auto children = unarchiver.decodeOrderedSetForKey<IModelItem>("items", kChildClasses)) {
        items_ = std::make_shared<ModelItemOrderedSet>(*children);
      }
      break;
    case ModelItemCollectionKind::dictionary:
      if (auto children = unarchiver.decodeDictionaryForKey<IModelItem>("items", kChildClasses)) {
        // Keyed again by name, the key the container keeps items under.
        auto dictionary = std::make_shared<ModelItemDictionary>();
        for (const auto& entry : *children) dictionary->addItem(entry.second);
        items_ = std::move(dictionary);
      }
      break;
  }
}

ItemGroup::ItemGroup(const ItemGroup& other)
    : IModelItem(other),
      name_(other.name_),
      size_(other.size_),
      items_(other.items_ ? other.items_->mutableCopy() : nullptr),
      scanningHistory_(other.scanningHistory_ ? other.scanningHistory_->copy() : nullptr),
      cleaningHistory_(other.cleaningHistory_ ? other.cleaningHistory_->copy() : nullptr) {}

std::optional<std::string> ItemGroup::identifier() const {
  if (!name()) return std::nullopt;
  return platform::URL::percentEncodePath(*name());
}

void ItemGroup::addItem(const ModelItemPtr& item) {
  if (!item) return;
  if (!items_) {
    items_ = emptyItems();
    // A class without a container of its own still keeps what it is given.
    if (!items_) items_ = std::make_shared<ModelItemArray>();
  }
  const ModelItemAddResult result = items_->addItem(item);
  if (!result.added) return;
  if (result.replaced) size_ = saturatingSubtract(size_, result.replaced->size());
  size_ = saturatingAdd(size_, item->size());
}

void ItemGroup::removeItem(const ModelItemPtr& item) {
  if (!item || !items_) return;
  for (const auto& removed : items_->removeItem(item)) size_ = saturatingSubtract(size_, removed->size());
}

void ItemGroup::removeAll() {
  if (items_) items_->removeAll();
  size_ = 0;
}

void ItemGroup::enumerateObjects(const ModelItemEnumerationBlock& block) const {
  if (items_) items_->enumerateObjects(block);
}

void ItemGroup::enumerateLeaves(const ModelItemLeafBlock& block) const {
  if (items_) walkLeaves(*items_, block);
}

ModelItemPtr ItemGroup::itemForKey(const ModelItemKey& key) const { return items_ ? items_->itemForKey(key) : nullptr; }

ModelItemPtr ItemGroup::anyItem() const { return items_ ? items_->anyItem() : nullptr; }

std::size_t ItemGroup::count() const { return items_ ? items_->count() : 0; }

void ItemGroup::updateScanningHistory() {
  if (!scanningHistory_) scanningHistory_ = std::make_shared<ZOLMItemGroupHistory>();
  scanningHistory_->updateWithNewSize(size_);
}

void ItemGroup::updateCleaningHistory() {
  if (!cleaningHistory_) cleaningHistory_ = std::make_shared<ZOLMItemGroupHistory>();
  cleaningHistory_->updateWithNewSize(size_);
}

std::string ItemGroup::description() const {
  std::string text = recorddescription::header(className(), this);
  if (const auto groupName = name()) text += " Name: " + *groupName + ".";
  if (const auto item = anyItem()) {
    if (const auto itemName = item->name()) text += " Random item name: " + *itemName + ".";
  }
  text += " Number of items " + std::to_string(count()) + ", size " + std::to_string(static_cast<long long>(size_)) +
          ", identifier " + recorddescription::text(identifier()) + ".";
  return text;
}

}  // namespace vozi

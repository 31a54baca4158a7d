#pragma once

#include <unordered_map>
#include <vector>

#include "common/IZOLModelItemMutableCollection.h"

namespace vozi {

// An ordered list of distinct items (by the items' own equality); the key of
// an item is its index.
class ModelItemOrderedSet : public IZOLModelItemMutableCollection {
 public:
  ModelItemOrderedSet() = default;
  // Keeps the first of equal items.
  explicit ModelItemOrderedSet(const std::vector<ModelItemPtr>& items);

  ModelItemCollectionKind kind() const override { return ModelItemCollectionKind::orderedSet; }
  ModelItemPtr itemForKey(const ModelItemKey& key) const override;
  void enumerateObjects(const ModelItemEnumerationBlock& block) const override;
  std::shared_ptr<IZOLModelItemMutableCollection> mutableCopy() const override;
  ModelItemPtr anyItem() const override;
  std::size_t count() const override { return items_.size(); }

  // Appends unless an equal item is already held.
  ModelItemAddResult addItem(const ModelItemPtr& item) override;
  // Removes the equal item.
  std::vector<ModelItemPtr> removeItem(const ModelItemPtr& item) override;
  void removeAll() override;

  bool contains(const ModelItemPtr& item) const;
  const std::vector<ModelItemPtr>& items() const { return items_; }

 private:
  std::vector<ModelItemPtr> items_;
  // Hash of each held item to the items with that hash, for quick lookups.
  std::unordered_multimap<std::size_t, IModelItem*> index_;
};

}  // namespace vozi

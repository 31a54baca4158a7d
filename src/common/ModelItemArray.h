#pragma once

#include <vector>

#include "common/IZOLModelItemMutableCollection.h"

namespace vozi {

// An ordered list of items; the key of an item is its index. It may hold an
// item more than once.
class ModelItemArray : public IZOLModelItemMutableCollection {
 public:
  ModelItemArray() = default;
  explicit ModelItemArray(std::vector<ModelItemPtr> items);

  ModelItemCollectionKind kind() const override { return ModelItemCollectionKind::array; }
  ModelItemPtr itemForKey(const ModelItemKey& key) const override;
  void enumerateObjects(const ModelItemEnumerationBlock& block) const override;
  std::shared_ptr<IZOLModelItemMutableCollection> mutableCopy() const override;
  ModelItemPtr anyItem() const override;
  std::size_t count() const override { return items_.size(); }

  // Appends.
  ModelItemAddResult addItem(const ModelItemPtr& item) override;
  // Removes every item equal to the given one.
  std::vector<ModelItemPtr> removeItem(const ModelItemPtr& item) override;
  void removeAll() override { items_.clear(); }

  const std::vector<ModelItemPtr>& items() const { return items_; }
  void reserve(std::size_t capacity) { items_.reserve(capacity); }

 private:
  std::vector<ModelItemPtr> items_;
};

}  // namespace vozi

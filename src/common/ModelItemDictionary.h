#pragma once

#include <map>
#include <string>

#include "common/IZOLModelItemMutableCollection.h"

namespace vozi {

// Items keyed by their name, one item per name, in name order. An item
// without a name has no key and can't be held.
class ModelItemDictionary : public IZOLModelItemMutableCollection {
 public:
  ModelItemDictionary() = default;
  explicit ModelItemDictionary(std::map<std::string, ModelItemPtr> items);

  ModelItemCollectionKind kind() const override { return ModelItemCollectionKind::dictionary; }
  ModelItemPtr itemForKey(const ModelItemKey& key) const override;
  void enumerateObjects(const ModelItemEnumerationBlock& block) const override;
  std::shared_ptr<IZOLModelItemMutableCollection> mutableCopy() const override;
  ModelItemPtr anyItem() const override;
  std::size_t count() const override { return items_.size(); }

  // Sets the item under its name, replacing the item held under that name.
  ModelItemAddResult addItem(const ModelItemPtr& item) override;
  // Removes the entry under the item's name, whichever item it holds.
  std::vector<ModelItemPtr> removeItem(const ModelItemPtr& item) override;
  void removeAll() override { items_.clear(); }

  const std::map<std::string, ModelItemPtr>& items() const { return items_; }

 private:
  std::map<std::string, ModelItemPtr> items_;
};

}  // namespace vozi

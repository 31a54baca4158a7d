#include "common/ModelItemArray.h"

#include <algorithm>

namespace vozi {

ModelItemArray::ModelItemArray(std::vector<ModelItemPtr> items) : items_(std::move(items)) {
  std::erase(items_, nullptr);
}

ModelItemPtr ModelItemArray::itemForKey(const ModelItemKey& key) const {
  const auto* index = std::get_if<std::size_t>(&key);
  return index && *index < items_.size() ? items_[*index] : nullptr;
}

void ModelItemArray::enumerateObjects(const ModelItemEnumerationBlock& block) const {
  bool stop = false;
  for (std::size_t i = 0; i < items_.size() && !stop; ++i) block(items_[i], ModelItemKey(i), stop);
}

std::shared_ptr<IZOLModelItemMutableCollection> ModelItemArray::mutableCopy() const {
  return std::make_shared<ModelItemArray>(items_);
}

ModelItemPtr ModelItemArray::anyItem() const { return items_.empty() ? nullptr : items_.front(); }

ModelItemAddResult ModelItemArray::addItem(const ModelItemPtr& item) {
  if (!item) return {};
  items_.push_back(item);
  return {true, nullptr};
}

std::vector<ModelItemPtr> ModelItemArray::removeItem(const ModelItemPtr& item) {
  std::vector<ModelItemPtr> removed;
  if (!item) return removed;
  std::erase_if(items_, [&](const ModelItemPtr& held) {
    if (held != item && !held->isEqual(*item)) return false;
    removed.push_back(held);
    return true;
  });
  return removed;
}

}  // namespace vozi

#include "common/ModelItemOrderedSet.h"

#include <algorithm>

namespace vozi {

ModelItemOrderedSet::ModelItemOrderedSet(const std::vector<ModelItemPtr>& items) {
  for (const auto& item : items) addItem(item);
}

ModelItemPtr ModelItemOrderedSet::itemForKey(const ModelItemKey& key) const {
  const auto* index = std::get_if<std::size_t>(&key);
  return index && *index < items_.size() ? items_[*index] : nullptr;
}

void ModelItemOrderedSet::enumerateObjects(const ModelItemEnumerationBlock& block) const {
  bool stop = false;
  for (std::size_t i = 0; i < items_.size() && !stop; ++i) block(items_[i], ModelItemKey(i), stop);
}

std::shared_ptr<IZOLModelItemMutableCollection> ModelItemOrderedSet::mutableCopy() const {
  return std::make_shared<ModelItemOrderedSet>(*this);
}

ModelItemPtr ModelItemOrderedSet::anyItem() const { return items_.empty() ? nullptr : items_.front(); }

bool ModelItemOrderedSet::contains(const ModelItemPtr& item) const {
  if (!item) return false;
  const auto [first, last] = index_.equal_range(item->hash());
  return std::any_of(first, last, [&](const auto& entry) {
    return entry.second == item.get() || entry.second->isEqual(*item);
  });
}

ModelItemAddResult ModelItemOrderedSet::addItem(const ModelItemPtr& item) {
  if (!item || contains(item)) return {};
  items_.push_back(item);
  index_.emplace(item->hash(), item.get());
  return {true, nullptr};
}

std::vector<ModelItemPtr> ModelItemOrderedSet::removeItem(const ModelItemPtr& item) {
  if (!item) return {};
  const auto held = std::find_if(items_.begin(), items_.end(), [&](const ModelItemPtr& candidate) {
    return candidate == item || candidate->isEqual(*item);
  });
  if (held == items_.end()) return {};
  ModelItemPtr removed = *held;
  const auto [first, last] = index_.equal_range(removed->hash());
  for (auto entry = first; entry != last; ++entry) {
    if (entry->second == removed.get()) {
      index_.erase(entry);
      break;
    }
  }
  items_.erase(held);
  return {removed};
}

void ModelItemOrderedSet::removeAll() {
  items_.clear();
  index_.clear();
}

}  // namespace vozi

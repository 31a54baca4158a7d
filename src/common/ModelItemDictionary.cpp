#include "common/ModelItemDictionary.h"

namespace vozi {

ModelItemDictionary::ModelItemDictionary(std::map<std::string, ModelItemPtr> items) : items_(std::move(items)) {
  std::erase_if(items_, [](const auto& entry) { return entry.second == nullptr; });
}

ModelItemPtr ModelItemDictionary::itemForKey(const ModelItemKey& key) const {
  const auto* name = std::get_if<std::string>(&key);
  if (!name) return nullptr;
  const auto found = items_.find(*name);
  return found == items_.end() ? nullptr : found->second;
}

void ModelItemDictionary::enumerateObjects(const ModelItemEnumerationBlock& block) const {
  bool stop = false;
  for (auto entry = items_.begin(); entry != items_.end() && !stop; ++entry) {
    block(entry->second, ModelItemKey(entry->first), stop);
  }
}

std::shared_ptr<IZOLModelItemMutableCollection> ModelItemDictionary::mutableCopy() const {
  return std::make_shared<ModelItemDictionary>(items_);
}

ModelItemPtr ModelItemDictionary::anyItem() const { return items_.empty() ? nullptr : items_.begin()->second; }

ModelItemAddResult ModelItemDictionary::addItem(const ModelItemPtr& item) {
  if (!item) return {};
  auto name = item->name();
  if (!name) return {};
  auto& slot = items_[*name];
  if (slot == item) return {};
  ModelItemAddResult result{true, slot};
  slot = item;
  return result;
}

std::vector<ModelItemPtr> ModelItemDictionary::removeItem(const ModelItemPtr& item) {
  if (!item) return {};
  const auto name = item->name();
  if (!name) return {};
  const auto found = items_.find(*name);
  if (found == items_.end()) return {};
  ModelItemPtr removed = found->second;
  items_.erase(found);
  return {removed};
}

}  // namespace vozi

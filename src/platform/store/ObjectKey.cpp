#include "platform/store/ObjectKey.h"

#include <algorithm>

namespace vozi::platform {

bool ObjectKeySet::contains(const ObjectKey& key) const {
  if (index_) return index_->count(key) != 0;
  return std::find(keys_.begin(), keys_.end(), key) != keys_.end();
}

bool ObjectKeySet::insert(const ObjectKey& key) {
  if (index_) {
    if (!index_->emplace(key, keys_.size()).second) return false;
    keys_.push_back(key);
    return true;
  }
  if (contains(key)) return false;
  keys_.push_back(key);
  if (keys_.size() > kIndexThreshold) buildIndex();
  return true;
}

bool ObjectKeySet::erase(const ObjectKey& key) {
  std::size_t position;
  if (index_) {
    auto it = index_->find(key);
    if (it == index_->end()) return false;
    position = it->second;
    index_->erase(it);
  } else {
    auto it = std::find(keys_.begin(), keys_.end(), key);
    if (it == keys_.end()) return false;
    position = static_cast<std::size_t>(it - keys_.begin());
  }
  if (position + 1 != keys_.size()) {
    keys_[position] = keys_.back();
    if (index_) (*index_)[keys_[position]] = position;
  }
  keys_.pop_back();
  return true;
}

void ObjectKeySet::clear() {
  keys_.clear();
  index_.reset();
}

void ObjectKeySet::rekey(const std::unordered_map<ObjectKey, ObjectKey, ObjectKeyHash>& map) {
  bool changed = false;
  for (auto& key : keys_) {
    if (!key.temporary) continue;
    auto it = map.find(key);
    if (it == map.end()) continue;
    key = it->second;
    changed = true;
  }
  if (changed && index_) buildIndex();
}

void ObjectKeySet::buildIndex() {
  index_ = std::make_unique<std::unordered_map<ObjectKey, std::size_t, ObjectKeyHash>>();
  index_->reserve(keys_.size() * 2);
  for (std::size_t i = 0; i < keys_.size(); ++i) index_->emplace(keys_[i], i);
}

}  // namespace vozi::platform

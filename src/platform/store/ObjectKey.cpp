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

void ObjectKeySet::rekey(const AssignedKeys& assigned) {
  bool changed = false;
  for (auto& key : keys_) {
    if (!key.temporary) continue;
    const std::optional<ObjectKey> permanent = assigned.find(key);
    if (!permanent) continue;
    key = *permanent;
    changed = true;
  }
  if (changed && index_) buildIndex();
}

void AssignedKeys::prepare(std::int64_t lowest, std::int64_t highest, std::size_t count) {
  clear();
  if (highest < lowest) return;
  const auto span = static_cast<std::uint64_t>(highest) - static_cast<std::uint64_t>(lowest) + 1;
  if (span <= 4 * static_cast<std::uint64_t>(count) + 64) {
    lowest_ = lowest;
    table_.resize(static_cast<std::size_t>(span));
  } else {
    map_.reserve(count);
  }
}

void AssignedKeys::assign(const ObjectKey& temporary, const ObjectKey& permanent) {
  if (!table_.empty()) {
    const auto slot = static_cast<std::uint64_t>(temporary.id) - static_cast<std::uint64_t>(lowest_);
    if (temporary.id >= lowest_ && slot < table_.size() && permanent.root == temporary.root && !permanent.temporary) {
      table_[static_cast<std::size_t>(slot)] = {permanent.root, permanent.id};
      return;
    }
  }
  map_[temporary] = permanent;
}

std::optional<ObjectKey> AssignedKeys::find(const ObjectKey& key) const {
  if (!key.temporary) return std::nullopt;
  if (!table_.empty() && key.id >= lowest_) {
    const auto slot = static_cast<std::uint64_t>(key.id) - static_cast<std::uint64_t>(lowest_);
    if (slot < table_.size()) {
      const Slot& found = table_[static_cast<std::size_t>(slot)];
      if (found.root && found.root == key.root) return ObjectKey{found.root, found.id, false};
    }
  }
  if (map_.empty()) return std::nullopt;
  auto it = map_.find(key);
  if (it == map_.end()) return std::nullopt;
  return it->second;
}

void AssignedKeys::clear() {
  lowest_ = 0;
  table_.clear();
  map_.clear();
}

void ObjectKeySet::buildIndex() {
  index_ = std::make_unique<std::unordered_map<ObjectKey, std::size_t, ObjectKeyHash>>();
  index_->reserve(keys_.size() * 2);
  for (std::size_t i = 0; i < keys_.size(); ++i) index_->emplace(keys_[i], i);
}

}  // namespace vozi::platform

#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace vozi::platform {

class EntityDescription;

// How the store and a context name an object internally: the root entity of
// its table and either its primary key or, before its first save, a
// temporary number.
struct ObjectKey {
  const EntityDescription* root = nullptr;
  std::int64_t id = 0;
  bool temporary = false;

  explicit operator bool() const { return root != nullptr; }
  friend bool operator==(const ObjectKey&, const ObjectKey&) = default;
};

struct ObjectKeyHash {
  std::size_t operator()(const ObjectKey& key) const noexcept {
    std::size_t h = std::hash<const void*>()(key.root);
    h ^= std::hash<std::int64_t>()(key.id) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return key.temporary ? ~h : h;
  }
};

// The members of a to-many relationship: insertion order, O(1) look-up and
// removal (removal moves the last member into the gap).
class ObjectKeySet {
 public:
  std::size_t size() const { return keys_.size(); }
  bool empty() const { return keys_.empty(); }
  bool contains(const ObjectKey& key) const;
  bool insert(const ObjectKey& key);
  bool erase(const ObjectKey& key);
  void clear();
  const std::vector<ObjectKey>& keys() const { return keys_; }
  // Replaces keys found in the map (temporary keys that became permanent).
  void rekey(const std::unordered_map<ObjectKey, ObjectKey, ObjectKeyHash>& map);

 private:
  static constexpr std::size_t kIndexThreshold = 16;
  void buildIndex();
  std::vector<ObjectKey> keys_;
  std::unique_ptr<std::unordered_map<ObjectKey, std::size_t, ObjectKeyHash>> index_;
};

}  // namespace vozi::platform

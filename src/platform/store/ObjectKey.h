#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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

// The permanent keys a save gave to temporary ones. Temporary numbers come
// from one counter, so the keys of one save lie close together: they are
// kept in a table by number when that table stays small beside their count,
// else in a hash map.
class AssignedKeys {
 public:
  // Prepares for `count` keys numbered from `lowest` to `highest`.
  void prepare(std::int64_t lowest, std::int64_t highest, std::size_t count);
  void assign(const ObjectKey& temporary, const ObjectKey& permanent);
  // The permanent key given to a temporary one; none for any other key.
  std::optional<ObjectKey> find(const ObjectKey& key) const;
  void clear();

 private:
  // A temporary number names one object, so its root and new number are
  // all a slot needs.
  struct Slot {
    const EntityDescription* root = nullptr;  // null: none
    std::int64_t id = 0;
  };
  std::int64_t lowest_ = 0;
  std::vector<Slot> table_;  // by number - lowest_
  std::unordered_map<ObjectKey, ObjectKey, ObjectKeyHash> map_;
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
  // Replaces the temporary keys that became permanent.
  void rekey(const AssignedKeys& assigned);

 private:
  static constexpr std::size_t kIndexThreshold = 16;
  void buildIndex();
  std::vector<ObjectKey> keys_;
  std::unique_ptr<std::unordered_map<ObjectKey, std::size_t, ObjectKeyHash>> index_;
};

}  // namespace vozi::platform

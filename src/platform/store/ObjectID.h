#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/store/ObjectKey.h"

namespace vozi::platform {

// The identity of a stored object: temporary until the object's first save,
// permanent (its primary key in its store) afterwards. Identities from one
// store never equal those of another.
class ObjectID {
 public:
  ObjectID() = default;

  explicit operator bool() const { return entity_ != nullptr; }
  const EntityDescription* entity() const { return entity_; }
  bool isTemporaryID() const { return key_.temporary; }
  // The primary key of a permanent identity; 0 for a temporary one.
  std::int64_t primaryKey() const { return key_.temporary ? 0 : key_.id; }
  // "x-vozi://<store>/<entity>/p<key>", or ".../t<number>" while temporary.
  std::string URIRepresentation() const;

  friend bool operator==(const ObjectID& a, const ObjectID& b) { return a.store_ == b.store_ && a.key_ == b.key_; }

  // Internal: the store's number and the key.
  ObjectID(std::uint64_t store, const EntityDescription* entity, ObjectKey key)
      : store_(store), entity_(entity), key_(key) {}
  std::uint64_t store() const { return store_; }
  const ObjectKey& key() const { return key_; }

 private:
  std::uint64_t store_ = 0;
  const EntityDescription* entity_ = nullptr;
  ObjectKey key_;
};

struct ObjectIDHash {
  std::size_t operator()(const ObjectID& id) const noexcept {
    return ObjectKeyHash()(id.key()) ^ std::hash<std::uint64_t>()(id.store());
  }
};

}  // namespace vozi::platform

#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Date.h"
#include "platform/Value.h"
#include "platform/store/EntityDescription.h"
#include "platform/store/ObjectID.h"
#include "platform/store/ObjectKey.h"

namespace vozi::platform {

class ManagedObjectContext;

// An object of a store, registered in exactly one context. Entity classes
// derive from it and add typed accessors over the generic ones below.
//
// Every access runs on the queue of the object's context (inside perform or
// performAndWait); debug builds stop the process when it does not. An
// object whose context is gone (deleted and saved, evicted, reset, or the
// context destroyed) keeps its last values; changing it has no effect.
//
// Attribute values are held as Value: string, Date, Data, a 64-bit integer
// (all integer widths), bool or double; null when absent. A scalar (not
// optional) number or boolean is never absent.
class ManagedObject : public std::enable_shared_from_this<ManagedObject> {
 public:
  virtual ~ManagedObject();
  ManagedObject(const ManagedObject&) = delete;
  ManagedObject& operator=(const ManagedObject&) = delete;

  const EntityDescription& entity() const { return *entity_; }
  ObjectID objectID() const;
  ManagedObjectContext* managedObjectContext() const { return context_; }
  bool isInserted() const;
  bool isUpdated() const;
  bool isDeleted() const;
  bool hasChanges() const { return isInserted() || isUpdated() || isDeleted(); }

  // Attributes. An unknown key, or a value of another type, is a programming
  // error and stops the process.
  const Value& value(std::string_view key) const;
  void setValue(std::string_view key, Value value);
  std::optional<std::string> string(std::string_view key) const;
  void setString(std::string_view key, std::optional<std::string> value);
  std::optional<Date> date(std::string_view key) const;
  void setDate(std::string_view key, std::optional<Date> value);
  std::optional<Data> data(std::string_view key) const;
  void setData(std::string_view key, std::optional<Data> value);
  // Numbers and booleans; an absent optional one reads 0 or false.
  std::int64_t integer(std::string_view key) const;
  void setInteger(std::string_view key, std::int64_t value);
  bool boolean(std::string_view key) const;
  void setBoolean(std::string_view key, bool value);
  double real(std::string_view key) const;
  void setReal(std::string_view key, double value);

  // Relationships; the inverse side follows every change.
  std::shared_ptr<ManagedObject> object(std::string_view key) const;
  void setObject(std::string_view key, const std::shared_ptr<ManagedObject>& object);
  // The members of a to-many relationship, in no particular order.
  std::vector<std::shared_ptr<ManagedObject>> objects(std::string_view key) const;
  std::size_t objectCount(std::string_view key) const;
  bool containsObject(std::string_view key, const std::shared_ptr<ManagedObject>& object) const;
  void addObject(std::string_view key, const std::shared_ptr<ManagedObject>& object);
  void removeObject(std::string_view key, const std::shared_ptr<ManagedObject>& object);

  template <class T>
  std::shared_ptr<T> objectAs(std::string_view key) const {
    return std::dynamic_pointer_cast<T>(object(key));
  }
  template <class T>
  std::vector<std::shared_ptr<T>> objectsAs(std::string_view key) const {
    std::vector<std::shared_ptr<T>> out;
    for (auto& o : objects(key))
      if (auto t = std::dynamic_pointer_cast<T>(o)) out.push_back(std::move(t));
    return out;
  }

  // "<Entity: uri> (entity: Entity; data: {\n    key = value;\n ...})".
  std::string debugDescription() const;

 protected:
  ManagedObject() = default;

 private:
  friend class ManagedObjectContext;
  enum Flag : unsigned {
    kInserted = 1,
    kUpdated = 2,
    kDeleted = 4,
    kRowDirty = 8,      // a column changed: the row is written at save
    kListedUpdated = 16,
    kTouched = 32,      // relationship storage changed since the last save
  };
  struct ToMany {
    bool loaded = false;
    ObjectKeySet members;         // when loaded
    ObjectKeySet added, removed;  // changes made before it was loaded
  };

  const AttributeDescription& attributeFor(std::string_view key) const;
  const RelationshipDescription& relationshipFor(std::string_view key, bool toMany) const;
  void checkAccess() const;

  ManagedObjectContext* context_ = nullptr;
  const EntityDescription* entity_ = nullptr;
  ObjectKey key_;
  std::uint64_t store_ = 0;
  unsigned flags_ = 0;
  std::vector<Value> values_;
  std::vector<ObjectKey> toOne_;
  std::vector<ToMany> toMany_;
};

using ManagedObjectPtr = std::shared_ptr<ManagedObject>;

}  // namespace vozi::platform

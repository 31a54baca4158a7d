#pragma once

#include <cstddef>
#include <string>

namespace vozi::platform {

class EntityDescription;

// What deleting the source object does to the objects it points to:
// nullify takes it out of their inverse, cascade deletes them as well.
enum class DeleteRule { nullify, cascade };

// One relationship of an entity. Every relationship has an inverse, and the
// context keeps the two sides in step.
class RelationshipDescription {
 public:
  const std::string& name() const { return name_; }
  bool isToMany() const { return toMany_; }
  DeleteRule deleteRule() const { return deleteRule_; }
  const EntityDescription& entity() const { return *entity_; }
  const EntityDescription& destination() const { return *destination_; }
  const RelationshipDescription& inverse() const { return *inverse_; }
  // Slot among the to-one or among the to-many relationships of the
  // declaring entity and its sub-entities.
  std::size_t index() const { return index_; }

  bool isManyToMany() const { return toMany_ && inverse_->toMany_; }
  bool isOneToOne() const { return !toMany_ && !inverse_->toMany_; }
  // Of the two sides of a many-to-many relationship, the one whose join
  // table rows are written (source column = this side's object).
  bool ownsJoinTable() const { return ownsJoin_; }
  // The join table of a many-to-many relationship, or the foreign-key column
  // of a to-one relationship in the table of its root entity.
  const std::string& storageName() const { return storage_; }

 private:
  friend class ManagedObjectModel;
  std::string name_;
  std::string destinationName_;
  std::string inverseName_;
  bool toMany_ = false;
  bool ownsJoin_ = false;
  DeleteRule deleteRule_ = DeleteRule::nullify;
  const EntityDescription* entity_ = nullptr;
  const EntityDescription* destination_ = nullptr;
  const RelationshipDescription* inverse_ = nullptr;
  std::size_t index_ = 0;
  std::string storage_;
};

}  // namespace vozi::platform

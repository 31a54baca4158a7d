#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/store/AttributeDescription.h"
#include "platform/store/RelationshipDescription.h"

namespace vozi::platform {

class ManagedObject;
class ManagedObjectModel;

// One entity of a model: its attributes and relationships (inherited ones
// included), its place in the inheritance tree and the class its objects are
// made of.
class EntityDescription {
 public:
  using Factory = std::function<std::shared_ptr<ManagedObject>()>;

  const std::string& name() const { return name_; }
  const EntityDescription* superentity() const { return super_; }
  const std::vector<const EntityDescription*>& subentities() const { return subs_; }
  // The top of this entity's inheritance tree; all of the tree shares one table.
  const EntityDescription& root() const { return *root_; }
  // True when this is the entity or one of its ancestors.
  bool isKindOf(const EntityDescription& entity) const;
  // This entity followed by all its descendants, depth first.
  const std::vector<const EntityDescription*>& selfAndDescendants() const { return family_; }

  // Inherited attributes first, then the entity's own, in declaration order;
  // an attribute's position here is its index().
  const std::vector<const AttributeDescription*>& attributes() const { return attributes_; }
  const std::vector<const RelationshipDescription*>& toOneRelationships() const { return toOne_; }
  const std::vector<const RelationshipDescription*>& toManyRelationships() const { return toMany_; }
  const AttributeDescription* attribute(std::string_view name) const;
  const RelationshipDescription* relationship(std::string_view name) const;

  // The table of the root entity.
  const std::string& tableName() const { return root_->table_; }
  // Makes an empty object of this entity's class.
  std::shared_ptr<ManagedObject> makeObject() const;
  // The model the entity belongs to.
  const ManagedObjectModel& model() const { return *model_; }

 private:
  friend class ManagedObjectModel;
  const ManagedObjectModel* model_ = nullptr;
  std::string name_;
  std::string superName_;
  const EntityDescription* super_ = nullptr;
  const EntityDescription* root_ = this;
  std::vector<const EntityDescription*> subs_;
  std::vector<const EntityDescription*> family_;
  std::vector<std::unique_ptr<AttributeDescription>> ownAttributes_;
  std::vector<std::unique_ptr<RelationshipDescription>> ownRelationships_;
  std::vector<const AttributeDescription*> attributes_;
  std::vector<const RelationshipDescription*> toOne_;
  std::vector<const RelationshipDescription*> toMany_;
  std::unordered_map<std::string, const AttributeDescription*> attributeIndex_;
  std::unordered_map<std::string, const RelationshipDescription*> relationshipIndex_;
  Factory factory_;
  std::string table_;
};

}  // namespace vozi::platform

#include "platform/store/EntityDescription.h"

#include "platform/store/ManagedObject.h"

namespace vozi::platform {

bool EntityDescription::isKindOf(const EntityDescription& entity) const {
  for (const EntityDescription* e = this; e; e = e->super_)
    if (e == &entity) return true;
  return false;
}

const AttributeDescription* EntityDescription::attribute(std::string_view name) const {
  auto it = attributeIndex_.find(std::string(name));
  return it == attributeIndex_.end() ? nullptr : it->second;
}

const RelationshipDescription* EntityDescription::relationship(std::string_view name) const {
  auto it = relationshipIndex_.find(std::string(name));
  return it == relationshipIndex_.end() ? nullptr : it->second;
}

std::shared_ptr<ManagedObject> EntityDescription::makeObject() const { return factory_(); }

}  // namespace vozi::platform

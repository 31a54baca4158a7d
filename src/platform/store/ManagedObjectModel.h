#pragma once

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Value.h"
#include "platform/store/EntityDescription.h"

namespace vozi::platform {

// The entities of a store, declared in code with a Builder:
//
//   ManagedObjectModel::Builder b;
//   b.entity("MOModelItem").attribute("name", AttributeType::string).indexed()
//       .toMany("itemGroup", "MOItemGroup", "items");
//   b.entity("MOItemGroup").parent("MOModelItem").objectClass<MOItemGroup>()
//       .toMany("items", "MOModelItem", "itemGroup");
//   auto model = b.build(&failure);
//
// A model is immutable once built and is shared by the stores and contexts
// that use it.
class ManagedObjectModel {
 public:
  class EntityBuilder {
   public:
    EntityBuilder& parent(std::string name);
    template <class T>
    EntityBuilder& objectClass() {
      factory_ = [] { return std::make_shared<T>(); };
      return *this;
    }
    EntityBuilder& attribute(std::string name, AttributeType type);
    // Modifiers of the attribute declared last: a number or boolean that may
    // be absent; the value new objects (and rows that predate the attribute)
    // start with; an index on its column.
    EntityBuilder& optional();
    EntityBuilder& defaultValue(Value value);
    EntityBuilder& indexed();
    EntityBuilder& toOne(std::string name, std::string destination, std::string inverse,
                         DeleteRule rule = DeleteRule::nullify);
    EntityBuilder& toMany(std::string name, std::string destination, std::string inverse,
                          DeleteRule rule = DeleteRule::nullify);

   private:
    friend class ManagedObjectModel;
    struct Attribute {
      std::string name;
      AttributeType type;
      bool optional = false;
      bool indexed = false;
      Value defaultValue;
    };
    struct Relationship {
      std::string name, destination, inverse;
      bool toMany;
      DeleteRule rule;
    };
    std::string name_, parent_;
    EntityDescription::Factory factory_;
    std::vector<Attribute> attributes_;
    std::vector<Relationship> relationships_;
  };

  class Builder {
   public:
    // Declares an entity; declaring the same name again continues it.
    EntityBuilder& entity(std::string name);
    // The model, or null with the reason in *failure when the declarations do
    // not fit together (unknown parent or destination, inverse that does not
    // point back, a name used twice, ...).
    std::shared_ptr<const ManagedObjectModel> build(std::string* failure = nullptr) const;

   private:
    std::deque<EntityBuilder> entities_;
  };

  const EntityDescription* entity(std::string_view name) const;
  // In declaration order.
  const std::vector<const EntityDescription*>& entities() const { return order_; }

 private:
  ManagedObjectModel() = default;
  std::vector<std::unique_ptr<EntityDescription>> entities_;
  std::vector<const EntityDescription*> order_;
  std::unordered_map<std::string, const EntityDescription*> byName_;
};

}  // namespace vozi::platform

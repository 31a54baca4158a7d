#include "platform/store/ManagedObjectModel.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "platform/store/ManagedObject.h"

namespace vozi::platform {

namespace {

// Objects of entities without a class of their own (and without an ancestor
// that has one).
class PlainManagedObject : public ManagedObject {};

std::string folded(const std::string& text) {
  std::string out = text;
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
  return out;
}

bool fail(std::string* failure, std::string text) {
  if (failure) *failure = std::move(text);
  return false;
}

bool isScalarType(AttributeType type) {
  return type != AttributeType::string && type != AttributeType::date && type != AttributeType::data;
}

// Checks that a declared default fits the attribute and brings it into the
// form the objects hold.
bool normaliseDefault(AttributeType type, Value& value) {
  if (value.isNull()) return true;
  switch (type) {
    case AttributeType::string:
      return value.isString();
    case AttributeType::date:
      return value.isDate();
    case AttributeType::data:
      return value.isData();
    case AttributeType::boolean:
      if (auto b = value.asBool()) return value = *b, true;
      if (auto i = value.asInt64()) return value = (*i != 0), true;
      return false;
    case AttributeType::real:
      if (auto d = value.asDouble(); d && value.isNumber()) return value = *d, true;
      return false;
    case AttributeType::integer16:
    case AttributeType::integer32:
    case AttributeType::integer64:
      if (auto i = value.asInt64(); i && value.isInteger()) return value = *i, true;
      return false;
  }
  return false;
}

}  // namespace

const char* attributeTypeName(AttributeType type) {
  switch (type) {
    case AttributeType::string: return "string";
    case AttributeType::date: return "date";
    case AttributeType::data: return "data";
    case AttributeType::integer16: return "integer16";
    case AttributeType::integer32: return "integer32";
    case AttributeType::integer64: return "integer64";
    case AttributeType::boolean: return "boolean";
    case AttributeType::real: return "real";
  }
  return "?";
}

bool AttributeDescription::isScalar() const { return isScalarType(type_) && !optional_; }

ManagedObjectModel::EntityBuilder& ManagedObjectModel::EntityBuilder::parent(std::string name) {
  parent_ = std::move(name);
  return *this;
}

ManagedObjectModel::EntityBuilder& ManagedObjectModel::EntityBuilder::attribute(std::string name, AttributeType type) {
  attributes_.push_back({std::move(name), type, false, false, Value()});
  return *this;
}

ManagedObjectModel::EntityBuilder& ManagedObjectModel::EntityBuilder::optional() {
  if (!attributes_.empty()) attributes_.back().optional = true;
  return *this;
}

ManagedObjectModel::EntityBuilder& ManagedObjectModel::EntityBuilder::defaultValue(Value value) {
  if (!attributes_.empty()) attributes_.back().defaultValue = std::move(value);
  return *this;
}

ManagedObjectModel::EntityBuilder& ManagedObjectModel::EntityBuilder::indexed() {
  if (!attributes_.empty()) attributes_.back().indexed = true;
  return *this;
}

ManagedObjectModel::EntityBuilder& ManagedObjectModel::EntityBuilder::toOne(std::string name, std::string destination,
                                                                            std::string inverse, DeleteRule rule) {
  relationships_.push_back({std::move(name), std::move(destination), std::move(inverse), false, rule});
  return *this;
}

ManagedObjectModel::EntityBuilder& ManagedObjectModel::EntityBuilder::toMany(std::string name, std::string destination,
                                                                             std::string inverse, DeleteRule rule) {
  relationships_.push_back({std::move(name), std::move(destination), std::move(inverse), true, rule});
  return *this;
}

ManagedObjectModel::EntityBuilder& ManagedObjectModel::Builder::entity(std::string name) {
  for (auto& e : entities_)
    if (e.name_ == name) return e;
  entities_.emplace_back();
  entities_.back().name_ = std::move(name);
  return entities_.back();
}

std::shared_ptr<const ManagedObjectModel> ManagedObjectModel::Builder::build(std::string* failure) const {
  std::shared_ptr<ManagedObjectModel> model(new ManagedObjectModel);
  std::set<std::string> foldedNames;
  for (const EntityBuilder& declRef : entities_) {
    const EntityBuilder* decl = &declRef;
    // Names start with a letter and hold letters, digits and '_': they also
    // name tables.
    if (decl->name_.empty() || !std::isalpha(static_cast<unsigned char>(decl->name_[0])) ||
        !std::all_of(decl->name_.begin(), decl->name_.end(),
                     [](unsigned char c) { return std::isalnum(c) || c == '_'; }))
      return fail(failure, "entity name \"" + decl->name_ + "\" is not a plain name"), nullptr;
    if (!foldedNames.insert(folded(decl->name_)).second)
      return fail(failure, "entity name used twice: " + decl->name_), nullptr;
    auto entity = std::make_unique<EntityDescription>();
    entity->model_ = model.get();
    entity->name_ = decl->name_;
    entity->superName_ = decl->parent_;
    entity->factory_ = decl->factory_;
    model->byName_[entity->name_] = entity.get();
    model->order_.push_back(entity.get());
    model->entities_.push_back(std::move(entity));
  }

  // Inheritance: parents, roots, and an order with every parent before its children.
  for (auto& entity : model->entities_) {
    if (entity->superName_.empty()) continue;
    auto it = model->byName_.find(entity->superName_);
    if (it == model->byName_.end())
      return fail(failure, "entity " + entity->name_ + " has unknown parent " + entity->superName_), nullptr;
    entity->super_ = it->second;
  }
  std::vector<EntityDescription*> ordered;
  for (auto& entity : model->entities_) {
    std::size_t depth = 0;
    for (const EntityDescription* e = entity->super_; e; e = e->super_)
      if (++depth > model->entities_.size())
        return fail(failure, "entity " + entity->name_ + " inherits from itself"), nullptr;
  }
  std::set<const EntityDescription*> placed;
  while (ordered.size() < model->entities_.size()) {
    for (auto& entity : model->entities_) {
      if (placed.count(entity.get())) continue;
      if (entity->super_ && !placed.count(entity->super_)) continue;
      ordered.push_back(entity.get());
      placed.insert(entity.get());
    }
  }
  for (EntityDescription* entity : ordered) {
    auto* parent = const_cast<EntityDescription*>(entity->super_);
    if (parent) {
      entity->root_ = parent->root_;
      parent->subs_.push_back(entity);
      if (!entity->factory_) entity->factory_ = parent->factory_;
      entity->attributes_ = parent->attributes_;
      entity->toOne_ = parent->toOne_;
      entity->toMany_ = parent->toMany_;
      entity->attributeIndex_ = parent->attributeIndex_;
      entity->relationshipIndex_ = parent->relationshipIndex_;
    } else {
      entity->root_ = entity;
      entity->table_ = "Z" + entity->name_;
    }
    if (!entity->factory_) entity->factory_ = [] { return std::make_shared<PlainManagedObject>(); };

    std::set<std::string> used;
    for (auto* a : entity->attributes_) used.insert(folded(a->name()));
    for (auto& [name, r] : entity->relationshipIndex_) used.insert(folded(name));
    const auto& decl = *std::find_if(entities_.begin(), entities_.end(),
                                     [&](const auto& s) { return s.name_ == entity->name_; });
    for (const auto& a : decl.attributes_) {
      if (a.name.empty() || !used.insert(folded(a.name)).second)
        return fail(failure, "entity " + entity->name_ + " declares property \"" + a.name + "\" twice"), nullptr;
      auto attribute = std::make_unique<AttributeDescription>();
      attribute->name_ = a.name;
      attribute->type_ = a.type;
      attribute->optional_ = isScalarType(a.type) ? a.optional : true;
      attribute->indexed_ = a.indexed;
      attribute->defaultValue_ = a.defaultValue;
      if (!normaliseDefault(a.type, attribute->defaultValue_))
        return fail(failure, "default of " + entity->name_ + "." + a.name + " does not fit its type"), nullptr;
      if (attribute->defaultValue_.isNull() && attribute->isScalar()) {
        if (a.type == AttributeType::boolean)
          attribute->defaultValue_ = false;
        else if (a.type == AttributeType::real)
          attribute->defaultValue_ = 0.0;
        else
          attribute->defaultValue_ = std::int64_t{0};
      }
      attribute->entity_ = entity;
      attribute->index_ = entity->attributes_.size();
      attribute->column_ = entity->name_ + "." + a.name;
      entity->attributes_.push_back(attribute.get());
      entity->attributeIndex_[a.name] = attribute.get();
      entity->ownAttributes_.push_back(std::move(attribute));
    }
    for (const auto& r : decl.relationships_) {
      if (r.name.empty() || !used.insert(folded(r.name)).second)
        return fail(failure, "entity " + entity->name_ + " declares property \"" + r.name + "\" twice"), nullptr;
      auto relationship = std::make_unique<RelationshipDescription>();
      relationship->name_ = r.name;
      relationship->destinationName_ = r.destination;
      relationship->inverseName_ = r.inverse;
      relationship->toMany_ = r.toMany;
      relationship->deleteRule_ = r.rule;
      relationship->entity_ = entity;
      auto& slots = r.toMany ? entity->toMany_ : entity->toOne_;
      relationship->index_ = slots.size();
      slots.push_back(relationship.get());
      entity->relationshipIndex_[r.name] = relationship.get();
      entity->ownRelationships_.push_back(std::move(relationship));
    }
  }
  // Children inherit the parent's relationship list before the parent's own
  // relationships are resolved, so resolve over the declaring entities.
  for (auto& entity : model->entities_) {
    for (auto& relationship : entity->ownRelationships_) {
      auto* r = relationship.get();
      const std::string where = entity->name_ + "." + r->name_;
      auto dest = model->byName_.find(r->destinationName_);
      if (dest == model->byName_.end())
        return fail(failure, "relationship " + where + " has unknown destination " + r->destinationName_), nullptr;
      r->destination_ = dest->second;
      const RelationshipDescription* inverse = r->destination_->relationship(r->inverseName_);
      if (!inverse)
        return fail(failure, "relationship " + where + " has no inverse " + r->inverseName_ + " in " +
                                 r->destinationName_),
               nullptr;
      auto inverseDest = model->byName_.find(inverse->destinationName_);
      if (inverse->inverseName_ != r->name_ || inverseDest == model->byName_.end() ||
          !entity->isKindOf(*inverseDest->second) || !r->destination_->isKindOf(*inverse->entity_))
        return fail(failure, "relationship " + where + " and its inverse do not point at each other"), nullptr;
      r->inverse_ = inverse;
    }
  }
  for (auto& entity : model->entities_) {
    for (auto& relationship : entity->ownRelationships_) {
      auto* r = relationship.get();
      const std::string self = entity->name_ + "." + r->name_;
      const std::string other = r->inverse_->entity_->name_ + "." + r->inverse_->name_;
      if (r->isManyToMany()) {
        r->ownsJoin_ = self <= other;
        r->storage_ = "Z_" + (r->ownsJoin_ ? self : other);
      } else {
        r->storage_ = self;
      }
    }
  }
  // Families, depth first.
  for (auto& entity : model->entities_) {
    std::vector<const EntityDescription*> stack{entity.get()};
    while (!stack.empty()) {
      const EntityDescription* e = stack.back();
      stack.pop_back();
      entity->family_.push_back(e);
      for (auto it = e->subs_.rbegin(); it != e->subs_.rend(); ++it) stack.push_back(*it);
    }
  }
  return model;
}

const EntityDescription* ManagedObjectModel::entity(std::string_view name) const {
  auto it = byName_.find(std::string(name));
  return it == byName_.end() ? nullptr : it->second;
}

}  // namespace vozi::platform

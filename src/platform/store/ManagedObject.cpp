#include "platform/store/ManagedObject.h"

#include <cmath>

#include "platform/Fatal.h"
#include "platform/store/ManagedObjectContext.h"

namespace vozi::platform {

namespace {

[[noreturn]] void misuse(const std::string& text) { fatalStop("Object store misuse: " + text); }

bool isInteger(AttributeType type) {
  return type == AttributeType::integer16 || type == AttributeType::integer32 || type == AttributeType::integer64;
}

std::string describeValue(const Value& v) {
  if (v.isNull()) return "nil";
  if (v.isBool()) return *v.asBool() ? "1" : "0";
  if (v.isInteger()) return std::to_string(*v.asInt64());
  if (v.isReal()) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", *v.asDouble());
    return buffer;
  }
  if (v.isDate()) return v.asDate()->description();
  if (const auto* s = v.asString()) {
    std::string out;
    out.reserve(s->size() + 2);
    out.push_back('"');
    out.append(*s);
    out.push_back('"');
    return out;
  }
  if (const auto* d = v.asData()) return std::string("<").append(std::to_string(d->size())).append(" bytes>");
  return "?";
}

}  // namespace

ManagedObject::~ManagedObject() = default;

ObjectID ManagedObject::objectID() const { return ObjectID(store_, entity_, key_); }
bool ManagedObject::isInserted() const { return flags_ & kInserted; }
bool ManagedObject::isUpdated() const { return flags_ & kUpdated; }
bool ManagedObject::isDeleted() const { return flags_ & kDeleted; }

void ManagedObject::checkAccess() const {
  if (!entity_) misuse("an object that was not made by a context");
  if (context_) context_->assertOnQueue();
}

const AttributeDescription& ManagedObject::attributeFor(std::string_view key) const {
  checkAccess();
  const AttributeDescription* a = entity_->attribute(key);
  if (!a) misuse("entity " + entity_->name() + " has no attribute \"" + std::string(key) + "\"");
  return *a;
}

const RelationshipDescription& ManagedObject::relationshipFor(std::string_view key, bool toMany) const {
  checkAccess();
  const RelationshipDescription* r = entity_->relationship(key);
  if (!r || r->isToMany() != toMany)
    misuse("entity " + entity_->name() + " has no " + (toMany ? "to-many" : "to-one") + " relationship \"" +
           std::string(key) + "\"");
  return *r;
}

const Value& ManagedObject::value(std::string_view key) const { return values_[attributeFor(key).index()]; }

void ManagedObject::setValue(std::string_view key, Value value) {
  const AttributeDescription& a = attributeFor(key);
  if (context_) context_->setAttribute(*this, a, std::move(value));
}

std::optional<std::string> ManagedObject::string(std::string_view key) const {
  const AttributeDescription& a = attributeFor(key);
  if (a.type() != AttributeType::string) misuse(entity_->name() + "." + a.name() + " is not a string");
  const Value& v = values_[a.index()];
  if (v.isNull()) return std::nullopt;
  return *v.asString();
}

void ManagedObject::setString(std::string_view key, std::optional<std::string> value) {
  setValue(key, value ? Value(std::move(*value)) : Value());
}

std::optional<Date> ManagedObject::date(std::string_view key) const {
  const AttributeDescription& a = attributeFor(key);
  if (a.type() != AttributeType::date) misuse(entity_->name() + "." + a.name() + " is not a date");
  return values_[a.index()].asDate();
}

void ManagedObject::setDate(std::string_view key, std::optional<Date> value) {
  setValue(key, value ? Value(*value) : Value());
}

std::optional<Data> ManagedObject::data(std::string_view key) const {
  const AttributeDescription& a = attributeFor(key);
  if (a.type() != AttributeType::data) misuse(entity_->name() + "." + a.name() + " is not data");
  const Value& v = values_[a.index()];
  if (v.isNull()) return std::nullopt;
  return *v.asData();
}

void ManagedObject::setData(std::string_view key, std::optional<Data> value) {
  setValue(key, value ? Value(std::move(*value)) : Value());
}

std::int64_t ManagedObject::integer(std::string_view key) const {
  const AttributeDescription& a = attributeFor(key);
  if (!isInteger(a.type())) misuse(entity_->name() + "." + a.name() + " is not an integer");
  return values_[a.index()].asInt64().value_or(0);
}

void ManagedObject::setInteger(std::string_view key, std::int64_t value) { setValue(key, Value(value)); }

bool ManagedObject::boolean(std::string_view key) const {
  const AttributeDescription& a = attributeFor(key);
  if (a.type() != AttributeType::boolean) misuse(entity_->name() + "." + a.name() + " is not a boolean");
  return values_[a.index()].asBool().value_or(false);
}

void ManagedObject::setBoolean(std::string_view key, bool value) { setValue(key, Value(value)); }

double ManagedObject::real(std::string_view key) const {
  const AttributeDescription& a = attributeFor(key);
  if (a.type() != AttributeType::real) misuse(entity_->name() + "." + a.name() + " is not a double");
  return values_[a.index()].asDouble().value_or(0.0);
}

void ManagedObject::setReal(std::string_view key, double value) { setValue(key, Value(value)); }

std::shared_ptr<ManagedObject> ManagedObject::object(std::string_view key) const {
  const RelationshipDescription& r = relationshipFor(key, false);
  if (!context_) return nullptr;
  return context_->toOneObject(const_cast<ManagedObject&>(*this), r);
}

void ManagedObject::setObject(std::string_view key, const std::shared_ptr<ManagedObject>& object) {
  const RelationshipDescription& r = relationshipFor(key, false);
  if (context_) context_->setToOne(*this, r, object);
}

std::vector<std::shared_ptr<ManagedObject>> ManagedObject::objects(std::string_view key) const {
  const RelationshipDescription& r = relationshipFor(key, true);
  if (!context_) return {};
  return context_->toManyObjects(const_cast<ManagedObject&>(*this), r);
}

std::size_t ManagedObject::objectCount(std::string_view key) const {
  const RelationshipDescription& r = relationshipFor(key, true);
  if (!context_) return 0;
  return context_->toManyCount(const_cast<ManagedObject&>(*this), r);
}

bool ManagedObject::containsObject(std::string_view key, const std::shared_ptr<ManagedObject>& object) const {
  const RelationshipDescription& r = relationshipFor(key, true);
  if (!context_ || !object) return false;
  return context_->toManyContains(const_cast<ManagedObject&>(*this), r, object);
}

void ManagedObject::addObject(std::string_view key, const std::shared_ptr<ManagedObject>& object) {
  const RelationshipDescription& r = relationshipFor(key, true);
  if (context_) context_->addToMany(*this, r, object);
}

void ManagedObject::removeObject(std::string_view key, const std::shared_ptr<ManagedObject>& object) {
  const RelationshipDescription& r = relationshipFor(key, true);
  if (context_) context_->removeFromMany(*this, r, object);
}

std::string ManagedObject::debugDescription() const {
  checkAccess();
  const std::string uri = objectID().URIRepresentation();
  std::string out = "<" + entity_->name() + ": " + uri + "> (entity: " + entity_->name() + "; data: {\n";
  for (const AttributeDescription* a : entity_->attributes())
    out.append("    ").append(a->name()).append(" = ").append(describeValue(values_[a->index()])).append(";\n");
  for (const RelationshipDescription* r : entity_->toOneRelationships()) {
    const ObjectKey& k = toOne_[r->index()];
    out.append("    ").append(r->name()).append(" = ");
    if (k)
      out.append(k.temporary ? "t" : "p").append(std::to_string(k.id));
    else
      out.append("nil");
    out.append(";\n");
  }
  for (const RelationshipDescription* r : entity_->toManyRelationships()) {
    const ToMany& m = toMany_[r->index()];
    out.append("    ").append(r->name()).append(" = ");
    if (m.loaded)
      out.append("(").append(std::to_string(m.members.size())).append(" objects)");
    else
      out.append("<relationship fault>");
    out.append(";\n");
  }
  return out + "})";
}

}  // namespace vozi::platform

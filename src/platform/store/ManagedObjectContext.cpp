#include "platform/store/ManagedObjectContext.h"

#include <algorithm>
#include <atomic>
#include <unordered_set>

#include "platform/Fatal.h"
#include "platform/store/ObjectStoreError.h"
#include "platform/store/StoreQuery.h"

namespace vozi::platform {

namespace {

std::atomic<std::int64_t> gNextTemporaryID{1};

[[noreturn]] void misuse(const std::string& text) { fatalStop("Object store misuse: " + text); }

// Brings a value into the form the attribute holds, or stops on a value of
// another type.
Value normalise(const AttributeDescription& a, Value value) {
  if (value.isNull()) return a.isScalar() ? a.defaultValue() : Value();
  auto wrong = [&]() -> Value {
    misuse(a.entity().name() + "." + a.name() + " (" + attributeTypeName(a.type()) + ") cannot take this value");
  };
  switch (a.type()) {
    // Returned as `if (…) return value;`: a conditional expression would
    // copy the text or data instead of moving it.
    case AttributeType::string:
      if (value.isString()) return value;
      return wrong();
    case AttributeType::date:
      if (value.isDate()) return value;
      return wrong();
    case AttributeType::data:
      if (value.isData()) return value;
      return wrong();
    case AttributeType::boolean:
      if (value.isBool()) return value;
      if (value.isInteger()) return Value(*value.asInt64() != 0);
      return wrong();
    case AttributeType::real:
      if (value.isNumber() && !value.isBool()) return Value(*value.asDouble());
      return wrong();
    case AttributeType::integer16:
    case AttributeType::integer32:
    case AttributeType::integer64:
      if (value.isBool()) return Value(std::int64_t{*value.asBool() ? 1 : 0});
      if (value.isInteger() && value.asInt64()) return Value(*value.asInt64());
      return wrong();
  }
  return wrong();
}

// The entity a request names; none, with an error, when the model has no
// entity of that name.
const EntityDescription* requestedEntity(const ManagedObjectModel& model, const FetchRequest& request, Error* error) {
  const EntityDescription* entity = model.entity(request.entityName);
  if (!entity)
    *error = ObjectStoreError::make(ObjectStoreError::invalidRequest, "no entity named " + request.entityName);
  return entity;
}

// The entities a request reads: the one it names, and that one's
// subentities when it includes them.
std::vector<const EntityDescription*> requestedEntities(const EntityDescription& entity, const FetchRequest& request) {
  return request.includesSubentities ? entity.selfAndDescendants() : std::vector<const EntityDescription*>{&entity};
}

}  // namespace

ManagedObjectContext::ManagedObjectContext(std::shared_ptr<PersistentStoreCoordinator> coordinator,
                                           std::string queueLabel)
    : coordinator_(std::move(coordinator)), queue_(DispatchQueue::serial(std::move(queueLabel))) {}

ManagedObjectContext::~ManagedObjectContext() {
  // Blocks still queued run first; then every object lets go of us.
  queue_.reset();
  for (auto& [key, object] : registry_) {
    object->context_ = nullptr;
    object->flags_ = 0;
  }
}

void ManagedObjectContext::perform(std::function<void()> block) { queue_->async(std::move(block)); }

void ManagedObjectContext::performAndWait(const std::function<void()>& block) {
  if (queue_->isCurrent())
    block();
  else
    queue_->sync(block);
}

void ManagedObjectContext::assertOnQueue() const {
#ifndef NDEBUG
  if (!queue_->isCurrent())
    misuse("context of queue \"" + queue_->label() + "\" used outside perform/performAndWait");
#endif
}

bool ManagedObjectContext::withStore(const std::function<bool(SQLiteStore&)>& f, Error* error) {
  return coordinator_->withStore(f, error);
}

// A read that an accessor needs cannot report an error: a store that fails
// under a relationship read is beyond repair here.
void ManagedObjectContext::storeFailure(const Error& error) const {
  fatalStop("Object store failure: " + ObjectStoreError::describe(error));
}

ManagedObject* ManagedObjectContext::registered(const ObjectKey& key) const {
  auto it = registry_.find(key);
  return it == registry_.end() ? nullptr : it->second.get();
}

ManagedObjectPtr ManagedObjectContext::materialize(SQLiteStore::Row&& row) {
  ObjectKey key{&row.entity->root(), row.pk, false};
  if (auto* existing = registered(key)) return existing->shared_from_this();
  ManagedObjectPtr object = row.entity->makeObject();
  object->context_ = this;
  object->entity_ = row.entity;
  object->key_ = key;
  object->store_ = coordinator_->identifier();
  object->values_ = std::move(row.values);
  object->toOne_.resize(row.entity->toOneRelationships().size());
  for (const RelationshipDescription* r : row.entity->toOneRelationships())
    if (std::int64_t pk = row.toOne[r->index()]) object->toOne_[r->index()] = ObjectKey{&r->destination().root(), pk, false};
  object->toMany_.resize(row.entity->toManyRelationships().size());
  registry_.emplace(key, object);
  return object;
}

ManagedObject* ManagedObjectContext::resolve(const ObjectKey& key) {
  if (!key) return nullptr;
  if (auto* object = registered(key)) return object;
  if (key.temporary) return nullptr;
  std::optional<SQLiteStore::Row> row;
  Error error;
  if (!withStore([&](SQLiteStore& s) { return s.loadRow(*key.root, key.id, row, &error); }, &error))
    storeFailure(error);
  if (!row) return nullptr;
  return materialize(std::move(*row)).get();
}

void ManagedObjectContext::markChanged(ManagedObject& object, bool rowDirty) {
  if (object.flags_ & (ManagedObject::kInserted | ManagedObject::kDeleted)) return;
  object.flags_ |= ManagedObject::kUpdated;
  if (rowDirty) object.flags_ |= ManagedObject::kRowDirty;
  if (!(object.flags_ & ManagedObject::kListedUpdated)) {
    object.flags_ |= ManagedObject::kListedUpdated;
    updated_.push_back(object.shared_from_this());
  }
}

void ManagedObjectContext::touch(ManagedObject& object) {
  if (object.flags_ & ManagedObject::kTouched) return;
  object.flags_ |= ManagedObject::kTouched;
  touched_.push_back(object.shared_from_this());
}

ManagedObjectPtr ManagedObjectContext::insertNewObject(std::string_view entityName) {
  const EntityDescription* entity = coordinator_->managedObjectModel()->entity(entityName);
  return entity ? insertNewObject(*entity) : nullptr;
}

ManagedObjectPtr ManagedObjectContext::insertNewObject(const EntityDescription& description) {
  assertOnQueue();
  if (&description.model() != coordinator_->managedObjectModel().get())
    misuse("insertNewObject: entity " + description.name() + " is not of this context's model");
  const EntityDescription* entity = &description;
  ManagedObjectPtr object = entity->makeObject();
  object->context_ = this;
  object->entity_ = entity;
  object->key_ = ObjectKey{&entity->root(), gNextTemporaryID++, true};
  object->store_ = coordinator_->identifier();
  object->values_.reserve(entity->attributes().size());
  for (const AttributeDescription* a : entity->attributes()) object->values_.push_back(a->defaultValue());
  object->toOne_.resize(entity->toOneRelationships().size());
  object->toMany_.resize(entity->toManyRelationships().size());
  for (auto& m : object->toMany_) m.loaded = true;
  object->flags_ = ManagedObject::kInserted;
  registry_.emplace(object->key_, object);
  inserted_.push_back(object);
  touch(*object);
  return object;
}

void ManagedObjectContext::setAttribute(ManagedObject& object, const AttributeDescription& attribute, Value value) {
  Value normalised = normalise(attribute, std::move(value));
  if (object.flags_ & ManagedObject::kDeleted) return;
  Value& slot = object.values_[attribute.index()];
  if (slot == normalised) return;
  slot = std::move(normalised);
  markChanged(object, true);
}

// ---- relationships ----------------------------------------------------------

void ManagedObjectContext::ensureLoaded(ManagedObject& object, const RelationshipDescription& r) {
  ManagedObject::ToMany& state = object.toMany_[r.index()];
  if (state.loaded) return;
  std::vector<SQLiteStore::Row> rows;
  Error error;
  if (!withStore([&](SQLiteStore& s) { return s.toManyRows(r, object.key_.id, rows, &error); }, &error))
    storeFailure(error);
  for (auto& row : rows) {
    ObjectKey key{&r.destination().root(), row.pk, false};
    if (deletedKeys_.count(key)) continue;
    ManagedObjectPtr member = materialize(std::move(row));
    // A member whose to-one side was moved elsewhere in memory is no longer one.
    if (!r.inverse().isToMany() && member->toOne_[r.inverse().index()] != object.key_) continue;
    state.members.insert(key);
  }
  for (const ObjectKey& key : state.added.keys()) state.members.insert(key);
  for (const ObjectKey& key : state.removed.keys()) state.members.erase(key);
  state.added.clear();
  state.removed.clear();
  state.loaded = true;
}

std::vector<ObjectKey> ManagedObjectContext::relationshipKeys(ManagedObject& object, const RelationshipDescription& r) {
  ManagedObject::ToMany& state = object.toMany_[r.index()];
  if (state.loaded) return state.members.keys();
  std::vector<std::int64_t> pks;
  if (!object.key_.temporary) {
    Error error;
    if (!withStore([&](SQLiteStore& s) { return s.toManyKeys(r, object.key_.id, pks, &error); }, &error))
      storeFailure(error);
  }
  ObjectKeySet keys;
  for (std::int64_t pk : pks) {
    ObjectKey key{&r.destination().root(), pk, false};
    if (deletedKeys_.count(key) || state.removed.contains(key)) continue;
    if (!r.inverse().isToMany())
      if (auto* member = registered(key); member && member->toOne_[r.inverse().index()] != object.key_) continue;
    keys.insert(key);
  }
  for (const ObjectKey& key : state.added.keys()) keys.insert(key);
  return keys.keys();
}

bool ManagedObjectContext::toManyInsert(ManagedObject& object, const RelationshipDescription& r, const ObjectKey& key) {
  ManagedObject::ToMany& state = object.toMany_[r.index()];
  if (state.loaded) {
    if (!state.members.insert(key)) return false;
  } else {
    if (!state.added.insert(key)) return false;
    state.removed.erase(key);
  }
  touch(object);
  return true;
}

void ManagedObjectContext::toManyErase(ManagedObject& object, const RelationshipDescription& r, const ObjectKey& key) {
  ManagedObject::ToMany& state = object.toMany_[r.index()];
  if (state.loaded) {
    state.members.erase(key);
  } else {
    state.added.erase(key);
    state.removed.insert(key);
  }
  touch(object);
}

void ManagedObjectContext::recordJoin(const RelationshipDescription& r, const ManagedObject& a, const ManagedObject& b,
                                      bool add) {
  const RelationshipDescription& owner = r.ownsJoinTable() ? r : r.inverse();
  JoinKey key{&owner, r.ownsJoinTable() ? a.key_ : b.key_, r.ownsJoinTable() ? b.key_ : a.key_};
  // A pair with an unsaved object has no row yet: the save writes the rows
  // of new objects from their members (newJoins), so only pairs of saved
  // objects are kept here. A relationship that is its own inverse keeps
  // every pair, as both of its ends would write one.
  if ((key.source.temporary || key.destination.temporary) && &owner != &owner.inverse()) return;
  if (!add && (key.source.temporary || key.destination.temporary))
    joins_.erase(key);
  else
    joins_[key] = add;
}

bool ManagedObjectContext::checkTarget(const ManagedObject& object, const RelationshipDescription& r,
                                       const ManagedObjectPtr& target) const {
  if (object.flags_ & ManagedObject::kDeleted) return false;
  if (!target) return true;
  if (target->context_ != this) misuse("relationship " + r.name() + " set to an object of another context");
  if (!target->entity_->isKindOf(r.destination()))
    misuse("relationship " + r.entity().name() + "." + r.name() + " cannot hold a " + target->entity_->name());
  return !(target->flags_ & ManagedObject::kDeleted);
}

ManagedObjectPtr ManagedObjectContext::toOneObject(ManagedObject& object, const RelationshipDescription& r) {
  const ObjectKey key = object.toOne_[r.index()];
  if (!key || deletedKeys_.count(key)) return nullptr;
  ManagedObject* target = resolve(key);
  if (!target || (target->flags_ & ManagedObject::kDeleted)) return nullptr;
  return target->shared_from_this();
}

void ManagedObjectContext::setToOne(ManagedObject& object, const RelationshipDescription& r,
                                    const ManagedObjectPtr& target) {
  if (!checkTarget(object, r, target)) return;
  const ObjectKey newKey = target ? target->key_ : ObjectKey{};
  const ObjectKey old = object.toOne_[r.index()];
  if (old == newKey) return;
  const RelationshipDescription& inverse = r.inverse();
  if (inverse.isToMany()) {
    if (old && !deletedKeys_.count(old))
      if (ManagedObject* previous = resolve(old)) toManyErase(*previous, inverse, object.key_);
    if (target) toManyInsert(*target, inverse, object.key_);
  } else {
    if (old && !deletedKeys_.count(old))
      if (ManagedObject* previous = resolve(old); previous && previous->toOne_[inverse.index()] == object.key_) {
        previous->toOne_[inverse.index()] = {};
        markChanged(*previous, true);
      }
    if (target) {
      const ObjectKey partner = target->toOne_[inverse.index()];
      if (partner && partner != object.key_ && !deletedKeys_.count(partner))
        if (ManagedObject* other = resolve(partner); other && other->toOne_[r.index()] == target->key_) {
          other->toOne_[r.index()] = {};
          markChanged(*other, true);
        }
      target->toOne_[inverse.index()] = object.key_;
      markChanged(*target, true);
      touch(*target);
    }
  }
  object.toOne_[r.index()] = newKey;
  markChanged(object, true);
  touch(object);
}

std::vector<ManagedObjectPtr> ManagedObjectContext::toManyObjects(ManagedObject& object,
                                                                  const RelationshipDescription& r) {
  ensureLoaded(object, r);
  std::vector<ManagedObjectPtr> out;
  const auto& keys = object.toMany_[r.index()].members.keys();
  out.reserve(keys.size());
  for (const ObjectKey& key : keys) {
    ManagedObject* member = resolve(key);
    if (member && !(member->flags_ & ManagedObject::kDeleted)) out.push_back(member->shared_from_this());
  }
  return out;
}

std::size_t ManagedObjectContext::toManyCount(ManagedObject& object, const RelationshipDescription& r) {
  ensureLoaded(object, r);
  return object.toMany_[r.index()].members.size();
}

bool ManagedObjectContext::toManyContains(ManagedObject& object, const RelationshipDescription& r,
                                          const ManagedObjectPtr& target) {
  if (target->context_ != this) return false;
  ensureLoaded(object, r);
  return object.toMany_[r.index()].members.contains(target->key_);
}

void ManagedObjectContext::addToMany(ManagedObject& object, const RelationshipDescription& r,
                                     const ManagedObjectPtr& target) {
  if (!target || !checkTarget(object, r, target)) return;
  const RelationshipDescription& inverse = r.inverse();
  if (!inverse.isToMany()) {
    setToOne(*target, inverse, object.shared_from_this());
    return;
  }
  if (!toManyInsert(object, r, target->key_)) return;  // already a member
  toManyInsert(*target, inverse, object.key_);
  recordJoin(r, object, *target, true);
  markChanged(object, false);
  markChanged(*target, false);
}

void ManagedObjectContext::removeFromMany(ManagedObject& object, const RelationshipDescription& r,
                                          const ManagedObjectPtr& target) {
  if (!target || target->context_ != this || (object.flags_ & ManagedObject::kDeleted)) return;
  const RelationshipDescription& inverse = r.inverse();
  if (!inverse.isToMany()) {
    if (target->toOne_[inverse.index()] == object.key_) setToOne(*target, inverse, nullptr);
    return;
  }
  toManyErase(object, r, target->key_);
  toManyErase(*target, inverse, object.key_);
  recordJoin(r, object, *target, false);
  markChanged(object, false);
  markChanged(*target, false);
}

// Takes an object out of the relationships of the objects this context
// holds; the store's rows follow at save (or already did, for an eviction).
void ManagedObjectContext::cutRelationships(ManagedObject& object, bool recordChanges) {
  for (const RelationshipDescription* r : object.entity_->toOneRelationships()) {
    const ObjectKey key = object.toOne_[r->index()];
    ManagedObject* target = key ? registered(key) : nullptr;
    if (!target) continue;
    const RelationshipDescription& inverse = r->inverse();
    if (inverse.isToMany()) {
      auto& state = target->toMany_[inverse.index()];
      if (state.loaded)
        state.members.erase(object.key_);
      else
        state.added.erase(object.key_);
    } else if (target->toOne_[inverse.index()] == object.key_) {
      target->toOne_[inverse.index()] = {};
    }
  }
  for (const RelationshipDescription* r : object.entity_->toManyRelationships()) {
    const RelationshipDescription& inverse = r->inverse();
    for (const ObjectKey& key : relationshipKeys(object, *r)) {
      if (recordChanges && r->isManyToMany()) {
        const RelationshipDescription& owner = r->ownsJoinTable() ? *r : inverse;
        joins_.erase(JoinKey{&owner, r->ownsJoinTable() ? object.key_ : key, r->ownsJoinTable() ? key : object.key_});
      }
      ManagedObject* target = registered(key);
      if (!target) continue;
      if (!inverse.isToMany()) {
        if (target->toOne_[inverse.index()] == object.key_) target->toOne_[inverse.index()] = {};
        continue;
      }
      auto& state = target->toMany_[inverse.index()];
      if (state.loaded)
        state.members.erase(object.key_);
      else
        state.added.erase(object.key_);
    }
  }
}

void ManagedObjectContext::unregister(ManagedObject& object) {
  // The registry may hold the last reference.
  ManagedObjectPtr keep = object.shared_from_this();
  registry_.erase(object.key_);
  object.context_ = nullptr;
  object.flags_ = 0;
}

void ManagedObjectContext::deleteObject(const ManagedObjectPtr& object) {
  assertOnQueue();
  if (!object || object->context_ != this || (object->flags_ & ManagedObject::kDeleted)) return;
  std::vector<ManagedObjectPtr> cascade;
  for (const RelationshipDescription* r : object->entity_->toOneRelationships())
    if (r->deleteRule() == DeleteRule::cascade)
      if (auto target = toOneObject(*object, *r)) cascade.push_back(target);
  for (const RelationshipDescription* r : object->entity_->toManyRelationships())
    if (r->deleteRule() == DeleteRule::cascade)
      for (auto& target : toManyObjects(*object, *r)) cascade.push_back(target);
  cutRelationships(*object, true);
  if (object->flags_ & ManagedObject::kInserted) {
    unregister(*object);
  } else {
    object->flags_ |= ManagedObject::kDeleted;
    object->flags_ &= ~static_cast<unsigned>(ManagedObject::kUpdated | ManagedObject::kRowDirty);
    deleted_.push_back(object);
    deletedKeys_.insert(object->key_);
  }
  for (auto& target : cascade) deleteObject(target);
}

// ---- fetching -----------------------------------------------------------------

bool ManagedObjectContext::pendingChangesTouch(const EntityDescription& root, std::size_t& storeObjectsChanged) const {
  bool any = false;
  storeObjectsChanged = 0;
  for (const auto& o : inserted_)
    if (o->context_ == this && (o->flags_ & ManagedObject::kInserted) && o->key_.root == &root) any = true;
  for (const auto& o : updated_)
    if (o->context_ == this && (o->flags_ & ManagedObject::kRowDirty) && o->key_.root == &root) {
      any = true;
      ++storeObjectsChanged;
    }
  for (const auto& o : deleted_)
    if (o->context_ == this && (o->flags_ & ManagedObject::kDeleted) && o->key_.root == &root) {
      any = true;
      ++storeObjectsChanged;
    }
  return any;
}

std::optional<std::vector<ManagedObjectPtr>> ManagedObjectContext::fetch(const FetchRequest& request, Error* error) {
  assertOnQueue();
  Error local;
  Error* e = error ? error : &local;
  const EntityDescription* entity = requestedEntity(*coordinator_->managedObjectModel(), request, e);
  if (!entity) return std::nullopt;
  StoreQuery::Query query;
  query.entities = requestedEntities(*entity, request);
  const std::unordered_set<const EntityDescription*> family(query.entities.begin(), query.entities.end());
  std::size_t changed = 0;
  const bool pending = request.includesPendingChanges && pendingChangesTouch(entity->root(), changed);
  auto live = [&](const ManagedObjectPtr& o, unsigned flag) {
    return o->context_ == this && (o->flags_ & flag) && !(o->flags_ & ManagedObject::kDeleted) &&
           family.count(o->entity_);
  };

  for (const SortDescriptor& sort : request.sortDescriptors) {
    const AttributeDescription* a = StoreQuery::attribute(*entity, sort.key, e);
    if (!a) return std::nullopt;
    query.sort.emplace_back(a, sort.ascending);
  }
  auto aggregate = [&](const Predicate& p, Error* err) -> std::optional<Value> {
    const AttributeDescription* a = entity->attribute(p.aggregateKey());
    const bool ascending = p.aggregate() == Predicate::Aggregate::min;
    std::vector<std::pair<std::int64_t, Value>> candidates;
    if (!withStore([&](SQLiteStore& s) { return s.ordered(query.entities, *a, ascending, changed + 1, candidates, err); },
                   err))
      return std::nullopt;
    Value best;
    for (auto& [pk, v] : candidates) {
      if (pending)
        if (ManagedObject* o = registered(ObjectKey{&entity->root(), pk, false});
            o && (o->flags_ & (ManagedObject::kDeleted | ManagedObject::kRowDirty)))
          continue;
      best = v;
      break;
    }
    if (pending) {
      auto consider = [&](const ManagedObjectPtr& o) {
        Value v = StoreQuery::databaseForm(a->type(), o->values_[a->index()]);
        if (v.isNull()) return;
        const int order = best.isNull() ? 0 : StoreQuery::compare(v, best);
        if (best.isNull() || (ascending ? order < 0 : order > 0)) best = std::move(v);
      };
      for (const auto& o : inserted_)
        if (live(o, ManagedObject::kInserted)) consider(o);
      for (const auto& o : updated_)
        if (live(o, ManagedObject::kRowDirty)) consider(o);
    }
    return best;
  };
  if (request.predicate) {
    query.condition = StoreQuery::resolve(*entity, *request.predicate, aggregate, e);
    if (!query.condition) return std::nullopt;
  }
  query.limit = request.fetchLimit > 0 ? request.fetchLimit + (pending ? changed : 0) : 0;
  std::vector<SQLiteStore::Row> rows;
  if (!withStore([&](SQLiteStore& s) { return s.fetch(query, rows, e); }, e)) return std::nullopt;

  std::vector<ManagedObjectPtr> out;
  out.reserve(rows.size());
  if (!pending) {
    for (auto& row : rows) out.push_back(materialize(std::move(row)));
    return out;
  }
  auto matches = [&](const ManagedObject& o) {
    return !query.condition || StoreQuery::evaluate(*query.condition, o.values_);
  };
  std::unordered_set<ObjectKey, ObjectKeyHash> present;
  for (auto& row : rows) {
    ManagedObjectPtr o = materialize(std::move(row));
    if (o->flags_ & ManagedObject::kDeleted) continue;
    if ((o->flags_ & ManagedObject::kRowDirty) && !matches(*o)) continue;
    present.insert(o->key_);
    out.push_back(std::move(o));
  }
  for (const auto& o : updated_)
    if (live(o, ManagedObject::kRowDirty) && !present.count(o->key_) && matches(*o)) {
      present.insert(o->key_);
      out.push_back(o);
    }
  for (const auto& o : inserted_)
    if (live(o, ManagedObject::kInserted) && matches(*o)) out.push_back(o);
  std::stable_sort(out.begin(), out.end(), [&](const ManagedObjectPtr& a, const ManagedObjectPtr& b) {
    if (int c = StoreQuery::compareForSort(query.sort, a->values_, b->values_)) return c < 0;
    if (a->key_.temporary != b->key_.temporary) return !a->key_.temporary;
    return a->key_.id < b->key_.id;
  });
  if (request.fetchLimit > 0 && out.size() > request.fetchLimit) out.resize(request.fetchLimit);
  return out;
}

std::optional<std::size_t> ManagedObjectContext::count(const FetchRequest& request, Error* error) {
  assertOnQueue();
  const EntityDescription* entity = coordinator_->managedObjectModel()->entity(request.entityName);
  std::size_t changed = 0;
  const bool simple = entity && !(request.includesPendingChanges && pendingChangesTouch(entity->root(), changed)) &&
                      request.fetchLimit == 0 && !request.predicate;
  if (!simple) {
    auto objects = fetch(request, error);
    if (!objects) return std::nullopt;
    return objects->size();
  }
  StoreQuery::Query query;
  query.entities = requestedEntities(*entity, request);
  std::size_t n = 0;
  if (!withStore([&](SQLiteStore& s) { return s.count(query, n, error); }, error)) return std::nullopt;
  return n;
}

ManagedObjectPtr ManagedObjectContext::existingObject(const ObjectID& id, Error* error) {
  assertOnQueue();
  auto notFound = [&]() -> ManagedObjectPtr {
    if (error)
      *error = ObjectStoreError::make(ObjectStoreError::objectNotFound,
                                      "no object with identity " + id.URIRepresentation() + " in this context");
    return nullptr;
  };
  if (!id || id.store() != coordinator_->identifier()) return notFound();
  const ObjectKey& key = id.key();
  if (deletedKeys_.count(key)) return notFound();
  if (ManagedObject* o = registered(key)) {
    if (o->flags_ & ManagedObject::kDeleted) return notFound();
    return o->shared_from_this();
  }
  if (key.temporary) return notFound();
  std::optional<SQLiteStore::Row> row;
  if (!withStore([&](SQLiteStore& s) { return s.loadRow(*key.root, key.id, row, error); }, error)) return nullptr;
  if (!row) return notFound();
  return materialize(std::move(*row));
}

ManagedObjectPtr ManagedObjectContext::registeredObject(const ObjectID& id) const {
  assertOnQueue();
  if (!id || id.store() != coordinator_->identifier()) return nullptr;
  ManagedObject* o = registered(id.key());
  return o ? o->shared_from_this() : nullptr;
}

std::optional<std::vector<ObjectID>> ManagedObjectContext::executeBatchDelete(const FetchRequest& request,
                                                                              Error* error) {
  assertOnQueue();
  Error local;
  Error* e = error ? error : &local;
  const EntityDescription* entity = requestedEntity(*coordinator_->managedObjectModel(), request, e);
  if (!entity) return std::nullopt;
  StoreQuery::Query query;
  query.entities = requestedEntities(*entity, request);
  if (request.predicate) {
    auto aggregate = [&](const Predicate& p, Error* err) -> std::optional<Value> {
      std::vector<std::pair<std::int64_t, Value>> first;
      if (!withStore([&](SQLiteStore& s) {
            return s.ordered(query.entities, *entity->attribute(p.aggregateKey()),
                             p.aggregate() == Predicate::Aggregate::min, 1, first, err);
          },
                     err))
        return std::nullopt;
      return first.empty() ? Value() : first.front().second;
    };
    query.condition = StoreQuery::resolve(*entity, *request.predicate, aggregate, e);
    if (!query.condition) return std::nullopt;
  }
  std::vector<std::pair<const EntityDescription*, ObjectKey>> deleted;
  if (!withStore([&](SQLiteStore& s) { return s.batchDelete(query, deleted, e); }, e)) return std::nullopt;

  // Evict what the context holds of the deleted rows, and every reference to them.
  std::unordered_set<ObjectKey, ObjectKeyHash> gone;
  std::vector<ObjectID> ids;
  for (const auto& [deletedEntity, key] : deleted) {
    gone.insert(key);
    ids.emplace_back(coordinator_->identifier(), deletedEntity, key);
  }
  if (!gone.empty()) {
    for (auto& [key, object] : registry_) {
      for (ObjectKey& target : object->toOne_)
        if (target && gone.count(target)) target = {};
      for (auto& state : object->toMany_) {
        for (const ObjectKey& k : gone) {
          if (state.loaded)
            state.members.erase(k);
          else
            state.added.erase(k), state.removed.erase(k);
        }
      }
    }
    for (auto it = joins_.begin(); it != joins_.end();)
      it = gone.count(it->first.source) || gone.count(it->first.destination) ? joins_.erase(it) : std::next(it);
    for (const ObjectKey& key : gone) {
      deletedKeys_.erase(key);
      if (ManagedObject* o = registered(key)) unregister(*o);
    }
  }
  return ids;
}

// ---- saving -------------------------------------------------------------------

bool ManagedObjectContext::hasChanges() const {
  if (!joins_.empty()) return true;
  for (const auto& o : inserted_)
    if (o->context_ == this && (o->flags_ & ManagedObject::kInserted)) return true;
  for (const auto& o : updated_)
    if (o->context_ == this && (o->flags_ & ManagedObject::kUpdated)) return true;
  for (const auto& o : deleted_)
    if (o->context_ == this && (o->flags_ & ManagedObject::kDeleted)) return true;
  return false;
}

// The join rows of a new object: each pair once, written by the end that
// owns the join table, or by the new object when the other end is saved.
void ManagedObjectContext::newJoins(const ManagedObject& o, std::vector<SQLiteStore::JoinWrite>& joins) const {
  for (const RelationshipDescription* r : o.entity_->toManyRelationships()) {
    if (!r->isManyToMany() || &r->inverse() == r) continue;
    for (const ObjectKey& member : o.toMany_[r->index()].members.keys()) {
      if (r->ownsJoinTable())
        joins.push_back({r, o.key_, member, true});
      else if (!member.temporary)
        joins.push_back({&r->inverse(), member, o.key_, true});
    }
  }
}

bool ManagedObjectContext::save(Error* error) {
  assertOnQueue();
  if (!hasChanges()) return true;
  SQLiteStore::Changes changes;
  changes.joins.reserve(joins_.size());
  for (const auto& [key, add] : joins_) changes.joins.push_back({key.owner, key.source, key.destination, add});
  // One pass over the new objects (each is a cache miss): their rows and
  // the rows of their pairs.
  for (const auto& o : inserted_) {
    if (o->context_ != this || !(o->flags_ & ManagedObject::kInserted)) continue;
    changes.inserts.push_back({o->entity_, o->key_, &o->values_, &o->toOne_});
    newJoins(*o, changes.joins);
  }
  for (const auto& o : updated_)
    if (o->context_ == this && (o->flags_ & ManagedObject::kRowDirty) &&
        !(o->flags_ & (ManagedObject::kDeleted | ManagedObject::kInserted)))
      changes.updates.push_back({o->entity_, o->key_, &o->values_, &o->toOne_});
  for (const auto& o : deleted_)
    if (o->context_ == this && (o->flags_ & ManagedObject::kDeleted)) changes.deletes.emplace_back(o->entity_, o->key_);

  AssignedKeys assigned;
  if (!withStore([&](SQLiteStore& s) { return s.save(changes, assigned, error); }, error)) return false;

  // Committed: new objects take their permanent identities, everywhere. A
  // new object is touched when it is made, so one pass over the touched
  // objects rekeys them; the pass over the new ones is only a safety net.
  std::size_t rekeyed = 0;
  auto takePermanentKey = [&](ManagedObject& o) {
    // The entry is moved to the new key, not freed and made again.
    auto entry = registry_.extract(o.key_);
    const std::optional<ObjectKey> permanent = assigned.find(o.key_);
    if (!permanent) misuse("a new " + o.entity_->name() + " was saved without a key");
    o.key_ = *permanent;
    if (entry) {
      entry.key() = o.key_;
      registry_.insert(std::move(entry));
    } else {
      registry_.emplace(o.key_, o.shared_from_this());
    }
    o.flags_ &= ~static_cast<unsigned>(ManagedObject::kInserted);
    ++rekeyed;
  };
  for (const auto& o : touched_) {
    o->flags_ &= ~static_cast<unsigned>(ManagedObject::kTouched);
    if (o->context_ != this) continue;
    if (o->flags_ & ManagedObject::kInserted) takePermanentKey(*o);
    for (ObjectKey& key : o->toOne_)
      if (key.temporary)
        if (const std::optional<ObjectKey> permanent = assigned.find(key)) key = *permanent;
    for (auto& state : o->toMany_) {
      if (state.loaded) {
        state.members.rekey(assigned);
      } else {
        state.added.clear();
        state.removed.clear();
      }
    }
  }
  if (rekeyed != changes.inserts.size())
    for (const auto& o : inserted_)
      if (o->context_ == this && (o->flags_ & ManagedObject::kInserted)) takePermanentKey(*o);
  for (const auto& o : updated_)
    o->flags_ &= ~static_cast<unsigned>(ManagedObject::kUpdated | ManagedObject::kRowDirty |
                                        ManagedObject::kListedUpdated);
  for (const auto& o : deleted_)
    if (o->context_ == this && (o->flags_ & ManagedObject::kDeleted)) unregister(*o);
  inserted_.clear();
  updated_.clear();
  deleted_.clear();
  touched_.clear();
  deletedKeys_.clear();
  joins_.clear();
  return true;
}

void ManagedObjectContext::reset() {
  assertOnQueue();
  for (auto& [key, object] : registry_) {
    object->context_ = nullptr;
    object->flags_ = 0;
  }
  registry_.clear();
  inserted_.clear();
  updated_.clear();
  deleted_.clear();
  touched_.clear();
  deletedKeys_.clear();
  joins_.clear();
}

}  // namespace vozi::platform

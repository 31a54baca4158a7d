#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/DispatchQueue.h"
#include "platform/Error.h"
#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/ObjectID.h"
#include "platform/store/PersistentStoreCoordinator.h"
#include "platform/store/SQLiteStore.h"

namespace vozi::platform {


// A private-queue context: a scratch pad of objects over one coordinator,
// with its own serial queue. Every fetch, change, deletion and save, and
// every touch of its objects, runs on that queue: inside perform (queued,
// run in submission order) or performAndWait (run and waited for; run at
// once when the caller is already on the queue). Debug builds stop the
// process on a call from elsewhere.
//
// Each stored object has one instance per context (identity map). New
// objects carry temporary identities until save gives them permanent ones.
// save writes all changes in one transaction: afterwards the file holds all
// of them or, after a failure or a crash, none.
class ManagedObjectContext {
 public:
  ManagedObjectContext(std::shared_ptr<PersistentStoreCoordinator> coordinator, std::string queueLabel);
  ~ManagedObjectContext();
  ManagedObjectContext(const ManagedObjectContext&) = delete;
  ManagedObjectContext& operator=(const ManagedObjectContext&) = delete;

  const std::shared_ptr<PersistentStoreCoordinator>& persistentStoreCoordinator() const { return coordinator_; }
  const DispatchQueuePtr& queue() const { return queue_; }

  void perform(std::function<void()> block);
  void performAndWait(const std::function<void()>& block);
  template <class F>
  auto performAndWaitResult(F&& f) -> std::invoke_result_t<F&> {
    using R = std::invoke_result_t<F&>;
    if constexpr (std::is_void_v<R>) {
      performAndWait([&] { f(); });
    } else {
      std::optional<R> result;
      performAndWait([&] { result.emplace(f()); });
      return std::move(*result);
    }
  }

  // A new object of the entity, with the declared defaults; null when the
  // model has no such entity.
  ManagedObjectPtr insertNewObject(std::string_view entityName);
  template <class T>
  std::shared_ptr<T> insertNewObject(std::string_view entityName) {
    return std::dynamic_pointer_cast<T>(insertNewObject(entityName));
  }
  // The same for an entity already looked up; it must be of this context's
  // model.
  ManagedObjectPtr insertNewObject(const EntityDescription& entity);
  // Marks an object for deletion at the next save; it leaves every
  // relationship at once, and what it owns by a cascade rule goes too. A new
  // object is simply forgotten.
  void deleteObject(const ManagedObjectPtr& object);

  std::optional<std::vector<ManagedObjectPtr>> fetch(const FetchRequest& request, Error* error = nullptr);
  std::optional<std::size_t> count(const FetchRequest& request, Error* error = nullptr);
  // The object of an identity, loaded from the store when needed; null with
  // an "object not found" error when it was deleted (saved or not) or never
  // saved.
  ManagedObjectPtr existingObject(const ObjectID& id, Error* error = nullptr);
  // The object when this context holds it already, else null.
  ManagedObjectPtr registeredObject(const ObjectID& id) const;
  std::size_t registeredObjectCount() const { return registry_.size(); }

  // Deletes the matching rows in the store file at once, bypassing the
  // context's pending changes; objects of those rows that the context holds
  // are evicted (their pending changes dropped, their relationships cut), so
  // a later save cannot trip over them. Gives the deleted identities.
  std::optional<std::vector<ObjectID>> executeBatchDelete(const FetchRequest& request, Error* error = nullptr);

  bool hasChanges() const;
  // Writes every pending change in one transaction; nothing happens without
  // changes. On failure the context keeps its changes and the file is as
  // before.
  bool save(Error* error = nullptr);
  // Forgets every object and pending change.
  void reset();

  // Stops the process unless called on the context's queue (debug builds).
  void assertOnQueue() const;

 private:
  friend class ManagedObject;
  struct JoinKey {
    const RelationshipDescription* owner;
    ObjectKey source, destination;
    friend bool operator==(const JoinKey&, const JoinKey&) = default;
  };
  struct JoinKeyHash {
    std::size_t operator()(const JoinKey& k) const noexcept {
      return std::hash<const void*>()(k.owner) ^ (ObjectKeyHash()(k.source) * 31) ^ (ObjectKeyHash()(k.destination) * 131);
    }
  };

  bool withStore(const std::function<bool(SQLiteStore&)>& f, Error* error);
  void storeFailure(const Error& error) const;
  ManagedObjectPtr materialize(SQLiteStore::Row&& row);
  ManagedObject* resolve(const ObjectKey& key);
  ManagedObject* registered(const ObjectKey& key) const;
  void markChanged(ManagedObject& object, bool rowDirty);
  void touch(ManagedObject& object);
  void ensureLoaded(ManagedObject& object, const RelationshipDescription& relationship);
  std::vector<ObjectKey> relationshipKeys(ManagedObject& object, const RelationshipDescription& relationship);
  void newJoins(const ManagedObject& object, std::vector<SQLiteStore::JoinWrite>& joins) const;
  bool toManyInsert(ManagedObject& object, const RelationshipDescription& relationship, const ObjectKey& key);
  void toManyErase(ManagedObject& object, const RelationshipDescription& relationship, const ObjectKey& key);
  void recordJoin(const RelationshipDescription& relationship, const ManagedObject& a, const ManagedObject& b, bool add);
  bool checkTarget(const ManagedObject& object, const RelationshipDescription& relationship,
                   const ManagedObjectPtr& target) const;

  // Called by ManagedObject.
  void setAttribute(ManagedObject& object, const AttributeDescription& attribute, Value value);
  ManagedObjectPtr toOneObject(ManagedObject& object, const RelationshipDescription& relationship);
  void setToOne(ManagedObject& object, const RelationshipDescription& relationship, const ManagedObjectPtr& target);
  std::vector<ManagedObjectPtr> toManyObjects(ManagedObject& object, const RelationshipDescription& relationship);
  std::size_t toManyCount(ManagedObject& object, const RelationshipDescription& relationship);
  bool toManyContains(ManagedObject& object, const RelationshipDescription& relationship,
                      const ManagedObjectPtr& target);
  void addToMany(ManagedObject& object, const RelationshipDescription& relationship, const ManagedObjectPtr& target);
  void removeFromMany(ManagedObject& object, const RelationshipDescription& relationship,
                      const ManagedObjectPtr& target);

  void cutRelationships(ManagedObject& object, bool recordChanges);
  void unregister(ManagedObject& object);
  bool pendingChangesTouch(const EntityDescription& root, std::size_t& storeObjectsChanged) const;

  std::shared_ptr<PersistentStoreCoordinator> coordinator_;
  DispatchQueuePtr queue_;
  std::unordered_map<ObjectKey, ManagedObjectPtr, ObjectKeyHash> registry_;
  std::vector<ManagedObjectPtr> inserted_, updated_, deleted_;
  std::vector<ManagedObjectPtr> touched_;
  std::unordered_set<ObjectKey, ObjectKeyHash> deletedKeys_;
  std::unordered_map<JoinKey, bool, JoinKeyHash> joins_;
};

}  // namespace vozi::platform

#include "platform/store/PersistentStoreCoordinator.h"

#include <atomic>

#include "platform/store/ObjectStoreError.h"
#include "platform/store/SQLiteStore.h"

namespace vozi::platform {

namespace {
std::atomic<std::uint64_t> gNextIdentifier{1};
}

PersistentStoreCoordinator::PersistentStoreCoordinator(std::shared_ptr<const ManagedObjectModel> model)
    : model_(std::move(model)), identifier_(gNextIdentifier++) {}

PersistentStoreCoordinator::~PersistentStoreCoordinator() = default;

bool PersistentStoreCoordinator::addSQLiteStore(const std::string& path, Error* error) {
  std::lock_guard lock(mutex_);
  if (store_) {
    if (error) *error = ObjectStoreError::make(ObjectStoreError::invalidRequest, "the coordinator has a store already");
    return false;
  }
  store_ = SQLiteStore::open(path, model_, error);
  return store_ != nullptr;
}

bool PersistentStoreCoordinator::hasStore() const {
  std::lock_guard lock(mutex_);
  return store_ != nullptr;
}

std::string PersistentStoreCoordinator::storePath() const {
  std::lock_guard lock(mutex_);
  return store_ ? store_->path() : std::string();
}

void PersistentStoreCoordinator::removeStore() {
  std::lock_guard lock(mutex_);
  store_.reset();
}

bool PersistentStoreCoordinator::withStore(const std::function<bool(SQLiteStore&)>& f, Error* error) {
  std::lock_guard lock(mutex_);
  if (!store_) {
    if (error) *error = ObjectStoreError::make(ObjectStoreError::noStore, "the coordinator has no store");
    return false;
  }
  return f(*store_);
}

}  // namespace vozi::platform

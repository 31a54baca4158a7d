#include "platform/store/PersistentStoreCoordinator.h"

#include <atomic>

#include "platform/store/ObjectStoreError.h"
#include "platform/store/SQLiteStore.h"
#include "platform/store/SQLiteStoreFiles.h"

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

Result<std::optional<PersistentStoreCoordinator::CorruptStoreReplacement>>
PersistentStoreCoordinator::addSQLiteStoreReplacingCorrupt(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (store_) return ObjectStoreError::make(ObjectStoreError::invalidRequest, "the coordinator has a store already");
  Error damage;
  store_ = SQLiteStore::open(path, model_, &damage);
  if (store_) return std::optional<CorruptStoreReplacement>();
  if (!ObjectStoreError::isCorruption(damage)) return damage;
  // The failed open closed the file, so it can be renamed whole.
  auto aside = SQLiteStoreFiles::moveAside(path, Date::now());
  if (!aside) return aside.error();
  Error error;
  store_ = SQLiteStore::open(path, model_, &error);
  if (!store_) return error;
  return std::optional<CorruptStoreReplacement>(CorruptStoreReplacement{damage.localizedDescription(), *aside});
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

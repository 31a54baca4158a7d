#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Error.h"
#include "platform/Result.h"
#include "platform/store/ManagedObjectModel.h"

namespace vozi::platform {

class SQLiteStore;

// Holds a model and the SQLite file that stores it; contexts read and write
// through it. Calls are serialised, so several contexts may share one.
class PersistentStoreCoordinator {
 public:
  explicit PersistentStoreCoordinator(std::shared_ptr<const ManagedObjectModel> model);
  ~PersistentStoreCoordinator();
  PersistentStoreCoordinator(const PersistentStoreCoordinator&) = delete;
  PersistentStoreCoordinator& operator=(const PersistentStoreCoordinator&) = delete;

  const std::shared_ptr<const ManagedObjectModel>& managedObjectModel() const { return model_; }

  // Opens the store file at a host path (its folder must exist): a missing
  // file is created with mode 0600, an existing one is opened without
  // following a symbolic link and tightened to 0600, and a file written for
  // an older model gets the tables and columns the model added, keeping its
  // rows. One store per coordinator.
  bool addSQLiteStore(const std::string& path, Error* error = nullptr);

  // What addSQLiteStoreReplacingCorrupt did with a damaged file: why SQLite
  // took it for damaged, and the host path it was moved to.
  struct CorruptStoreReplacement {
    std::string reason;
    std::string asidePath;
  };
  // As addSQLiteStore, except for a file SQLite reports damaged (never for a
  // busy, locked, I/O or full-disk failure): the file and its companions are
  // moved aside (SQLiteStoreFiles::moveAside keeps them as evidence) and a
  // new, empty store is made in their place. Gives the replacement, if
  // there was one; every other failure is an error as before.
  Result<std::optional<CorruptStoreReplacement>> addSQLiteStoreReplacingCorrupt(const std::string& path);
  bool hasStore() const;
  std::string storePath() const;
  // Closes the file; contexts then fail with a "no store" error.
  void removeStore();
  // Distinguishes the object identities of this coordinator from others'.
  std::uint64_t identifier() const { return identifier_; }

  // Runs f with the open store, under the coordinator's lock.
  bool withStore(const std::function<bool(SQLiteStore&)>& f, Error* error);

 private:
  std::shared_ptr<const ManagedObjectModel> model_;
  std::uint64_t identifier_;
  mutable std::mutex mutex_;
  std::unique_ptr<SQLiteStore> store_;
};

}  // namespace vozi::platform

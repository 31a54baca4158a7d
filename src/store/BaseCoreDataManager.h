#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/PersistentStoreCoordinator.h"

namespace vozi {

// Opens one store of the daemon: the model declared in code for the store's
// name, a coordinator over "/Library/Application Support/div.ez.iru/<name>.sqlite"
// (under the host root; the folder is made 0755 and the file 0600 when
// missing, an older file is brought up to the model keeping its rows) and
// the store's one private-queue context.
//
// A store file that SQLite reports damaged when it is opened is moved aside
// with its companions, kept as evidence (the last three such sets), with a
// log line, and a new empty store takes its place: the daemon comes up, and
// its clients then see an empty history and default preferences. Damage
// reported while running marks the file for that at the next open and stops
// the process at once, like every other failure: answers and cleans must not
// be built on rows read from a damaged file, and further writes into it could
// spread the damage. A store that cannot be brought up to the model (a
// failed migration) stops the process too.
//
// save(), deleteAll() and every read run on the context's queue: inside
// moc()->perform or moc()->performAndWait.
class BaseCoreDataManager {
 public:
  // Gives the model of a store; null (with the reason) when it cannot be built.
  using ModelResource = std::function<std::shared_ptr<const platform::ManagedObjectModel>(std::string* failure)>;

  static constexpr const char* kProductFolder = "/Library/Application Support/div.ez.iru/";

  // A missing resource stops with "Error loading model from budle".
  BaseCoreDataManager(std::string storeName, ModelResource modelResource);
  virtual ~BaseCoreDataManager();
  BaseCoreDataManager(const BaseCoreDataManager&) = delete;
  BaseCoreDataManager& operator=(const BaseCoreDataManager&) = delete;

  const std::string& storeName() const { return storeName_; }
  const std::shared_ptr<const platform::ManagedObjectModel>& mom() const { return mom_; }
  // "<storeName>.momd": names the model in messages.
  const std::string& modelURL() const { return modelURL_; }
  const std::shared_ptr<platform::PersistentStoreCoordinator>& psc() const { return psc_; }
  const std::shared_ptr<platform::ManagedObjectContext>& moc() const { return moc_; }
  // The host path of the store file.
  const std::string& storeURL() const { return storeURL_; }

  // Commits the context's changes, if it has any.
  void save();
  // Removes every row of the entity from the file at once. Objects of those
  // rows that the context holds are evicted with them, so nothing stale is
  // written back by a later save.
  void deleteAll(const std::string& entityName);

 private:
  std::string storeName_;
  std::shared_ptr<const platform::ManagedObjectModel> mom_;
  std::string modelURL_;
  std::shared_ptr<platform::PersistentStoreCoordinator> psc_;
  std::shared_ptr<platform::ManagedObjectContext> moc_;
  std::string storeURL_;
};

}  // namespace vozi

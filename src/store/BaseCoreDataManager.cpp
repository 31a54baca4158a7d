#include "store/BaseCoreDataManager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/HostRoot.h"
#include "platform/PosixError.h"
#include "platform/store/ObjectStoreError.h"
#include "common/MLog.h"
#include "store/CoreDataFatalError.h"

namespace vozi {

namespace {

// Creates the missing folders of a host path, each 0755 whatever the umask;
// existing folders are left as they are. The error text, or empty.
std::string createFolders(const std::string& path) {
  std::vector<std::string> missing;
  std::string current = path;
  while (current.size() > 1 && current.back() == '/') current.pop_back();
  for (;;) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return current + " is not a folder";
      break;
    }
    if (errno != ENOENT) return current + ": " + platform::PosixError::description(errno);
    missing.push_back(current);
    const auto slash = current.find_last_of('/');
    if (slash == std::string::npos || slash == 0) break;
    current.resize(slash);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0755) != 0) {
      if (errno == EEXIST) continue;  // made meanwhile by someone else: not ours to change
      return *it + ": " + platform::PosixError::description(errno);
    }
    // Only the folder just made is widened past the umask, through a
    // descriptor, so a link put in its place cannot redirect the change.
    const int fd = ::open(it->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
      ::fchmod(fd, 0755);
      ::close(fd);
    }
  }
  return {};
}

}  // namespace

BaseCoreDataManager::BaseCoreDataManager(std::string storeName, ModelResource modelResource)
    : storeName_(std::move(storeName)) {
  if (!modelResource) coreDataFatalError("Error loading model from budle");
  modelURL_ = storeName_ + ".momd";
  std::string failure;
  mom_ = modelResource(&failure);
  if (!mom_) coreDataFatalError("Error initializing mom from: " + modelURL_);
  psc_ = std::make_shared<platform::PersistentStoreCoordinator>(mom_);
  // One private-queue context. Within one process nothing else writes the
  // file, so the context's values always win at save.
  moc_ = std::make_shared<platform::ManagedObjectContext>(psc_, "div.ez.iru." + storeName_ + ".context");
  const std::string folder = platform::HostRoot::resolve(kProductFolder);
  if (std::string problem = createFolders(folder); !problem.empty())
    coreDataFatalError("Error create application support directory: " + problem);
  storeURL_ = folder + storeName_ + ".sqlite";
  auto added = psc_->addSQLiteStoreReplacingCorrupt(storeURL_);
  if (!added) coreDataFatalError("Error migration store: " + platform::ObjectStoreError::describe(added.error()));
  if (const auto& replaced = *added)
    MLogf("Store file %@ is damaged (%@); moved aside to %@ with its companions, a new empty store replaces it",
          storeURL_, replaced->reason, replaced->asidePath);
}

BaseCoreDataManager::~BaseCoreDataManager() = default;

void BaseCoreDataManager::save() {
  if (!moc_->hasChanges()) return;
  platform::Error error;
  if (!moc_->save(&error)) coreDataFatalError("Can't context save " + platform::ObjectStoreError::describe(error));
}

void BaseCoreDataManager::deleteAll(const std::string& entityName) {
  platform::Error error;
  if (!moc_->executeBatchDelete(platform::FetchRequest(entityName), &error))
    coreDataFatalError("Can't delete all objects " + platform::ObjectStoreError::describe(error));
}

}  // namespace vozi

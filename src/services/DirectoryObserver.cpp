#include "services/DirectoryObserver.h"

#include <dirent.h>

#include "common/MLog.h"
#include "platform/HostRoot.h"
#include "platform/PathComponents.h"

namespace vozi {

namespace {

bool isUnder(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

// Whether a component of the item's place in the tree is exactly ".Trash"
// (the tree path: the host root itself may lie in a Trash).
bool isInTrash(const std::string& hostPath) {
  const std::string treePath = platform::HostRoot::unresolve(hostPath);
  std::size_t start = 0;
  while (start <= treePath.size()) {
    const auto end = std::min(treePath.find('/', start), treePath.size());
    if (treePath.compare(start, end - start, ".Trash") == 0 && end - start == 6) return true;
    start = end + 1;
  }
  return false;
}

// The ".Trash" folders of the homes in the users folder.
std::vector<std::string> trashFolders() {
  std::vector<std::string> folders;
  const std::string users = platform::HostRoot::resolve("/Users");
  DIR* listing = ::opendir(users.c_str());
  if (!listing) return folders;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || entry->d_type == DT_LNK) continue;
    folders.push_back(users + "/" + name + "/.Trash");
  }
  ::closedir(listing);
  return folders;
}

}  // namespace

DirectoryObserver::DirectoryObserver(std::string observedURL, platform::DispatchQueuePtr callbackQueue)
    : observedURL_(std::move(observedURL)), callbackQueue_(std::move(callbackQueue)) {}

DirectoryObserver::~DirectoryObserver() = default;

void DirectoryObserver::start() {
  if (watcher_) return;
  platform::DirectoryWatcher::Handlers handlers;
  handlers.removed = [this](const std::string& path, bool isFolder) { removed(path, isFolder); };
  handlers.moved = [this](const std::string& from, const std::optional<std::string>& to, bool isFolder) {
    moved(from, to, isFolder);
  };
  // A bundle is one item: its contents would cost a watch per folder.
  auto made = platform::DirectoryWatcher::make(callbackQueue_, std::move(handlers), {.skipsPackageContents = true},
                                               [](const std::string& line) { MLog(line); });
  if (!made) {
    MLog("Can't watch " + observedURL_ + ": " + made.error().localizedDescription());
    return;
  }
  watcher_ = std::move(*made);
  if (auto watched = watcher_->watchTree(observedURL_); !watched)
    MLog("Can't watch " + observedURL_ + ": " + watched.error().localizedDescription());
  for (const std::string& trash : trashFolders()) (void)watcher_->watchFolder(trash);
}

void DirectoryObserver::stop() {
  if (!watcher_) return;
  watcher_->stop();
  watcher_.reset();
}

void DirectoryObserver::removed(const std::string& path, bool isFolder) const {
  if (isUnder(path, observedURL_) && deleteItemHandler_) deleteItemHandler_(path, isFolder);
}

void DirectoryObserver::moved(const std::string& from, const std::optional<std::string>& to, bool isFolder) const {
  if (!isUnder(from, observedURL_)) return;
  if (moveItemHandelr_) moveItemHandelr_(from, to);
  if (to && isInTrash(*to)) {
    MLog("seems item did move to trash! from: " + from + " to: " + *to);
    if (trashItemHandler_) trashItemHandler_(from, isFolder);
  }
}

}  // namespace vozi

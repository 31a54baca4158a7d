#include "services/DirectoryObserver.h"

#include "common/MLog.h"
#include "platform/FileManager.h"
#include "platform/FileSystemLayout.h"
#include "platform/HostRoot.h"
#include "platform/PathComponents.h"

namespace vozi {

namespace {

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

// The ".Trash" folders of the homes in the users folder; a home that is a
// link is passed over (the watch would follow it).
std::vector<std::string> trashFolders() {
  std::vector<std::string> folders;
  const auto& fileManager = platform::FileManager::defaultManager();
  const std::string users = platform::HostRoot::resolve(platform::FileSystemLayout::kUsersFolder);
  for (const std::string& name : fileManager.contentsOfDirectory(users).value_or(std::vector<std::string>{})) {
    const std::string home = platform::PathComponents::appending(users, name);
    if (fileManager.isDirectory(home)) folders.push_back(platform::PathComponents::appending(home, ".Trash"));
  }
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
  if (platform::PathComponents::isInside(path, observedURL_) && deleteItemHandler_) deleteItemHandler_(path, isFolder);
}

void DirectoryObserver::moved(const std::string& from, const std::optional<std::string>& to, bool isFolder) const {
  if (!platform::PathComponents::isInside(from, observedURL_)) return;
  if (moveItemHandelr_) moveItemHandelr_(from, to);
  if (to && isInTrash(*to)) {
    MLog("seems item did move to trash! from: " + from + " to: " + *to);
    if (trashItemHandler_) trashItemHandler_(from, isFolder);
  }
}

}  // namespace vozi

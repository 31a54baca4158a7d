#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/DirectoryWatcher.h"
#include "services/IApplicationsFolderObserver.h"

namespace vozi {

// Watches a folder ("/Applications") and the users' Trash folders, and tells
// its handlers on the callback queue:
// - deleteItemHandler: an item of the folder (at any depth; a package's
//   contents aside) was deleted;
// - moveItemHandelr: an item of the folder moved, with where to (none when
//   it left every watched folder);
// - trashItemHandler: after moveItemHandelr, when the destination lies in a
//   Trash (a component of its tree path is exactly ".Trash"), with the
//   item's path before the move.
// What happens inside the Trash folders themselves is not reported. Made
// stopped; start() and stop() belong to the callback queue.
class DirectoryObserver : public IApplicationsFolderObserver {
 public:
  using MoveHandler = std::function<void(const std::string& from, const std::optional<std::string>& to)>;

  DirectoryObserver(std::string observedURL, platform::DispatchQueuePtr callbackQueue);
  ~DirectoryObserver() override;

  const platform::DispatchQueuePtr& callbackQueue() const { return callbackQueue_; }
  const std::string& observedURL() const { return observedURL_; }
  void setMoveItemHandelr(MoveHandler handler) { moveItemHandelr_ = std::move(handler); }
  void setDeleteItemHandler(ItemHandler handler) { deleteItemHandler_ = std::move(handler); }
  void setTrashItemHandler(ItemHandler handler) { trashItemHandler_ = std::move(handler); }

  void start() override;
  void stop() override;

 private:
  void removed(const std::string& path, bool isFolder) const;
  void moved(const std::string& from, const std::optional<std::string>& to, bool isFolder) const;

  const std::string observedURL_;
  const platform::DispatchQueuePtr callbackQueue_;
  MoveHandler moveItemHandelr_;
  ItemHandler deleteItemHandler_;
  ItemHandler trashItemHandler_;
  std::unique_ptr<platform::DirectoryWatcher> watcher_;
};

}  // namespace vozi

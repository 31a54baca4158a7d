#pragma once

#include <functional>
#include <string>

#include "platform/DispatchQueue.h"

namespace vozi {

// Watches a folder of applications ("/Applications") for items deleted
// from it or moved into a Trash, and hands each one's host path, and whether
// it was a folder (a bundle is one), to its handler on the callback queue.
// Made stopped; start() and stop() from the owner's queue.
class IApplicationsFolderObserver {
 public:
  using ItemHandler = std::function<void(const std::string& path, bool isFolder)>;
  struct Handlers {
    ItemHandler deleteItem;
    ItemHandler trashItem;
  };

  virtual ~IApplicationsFolderObserver() = default;
  virtual void start() = 0;
  virtual void stop() = 0;
};

}  // namespace vozi

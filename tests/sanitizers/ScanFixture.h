#pragma once

#include <map>
#include <memory>
#include <string>

#include "common/FileItem.h"
#include "common/ItemGroup.h"
#include "platform/OperationQueue.h"
#include "support/MacTree.h"
#include "support/TempRoot.h"

namespace vozi::test {

// A temporary host root with bob's folders, a queue to run operations on,
// and a look at what a group holds.
struct ScanFixture {
  TempRoot root;
  MacTree tree{root};
  std::shared_ptr<platform::OperationQueue> queue = std::make_shared<platform::OperationQueue>("sanitizer tests");
  static constexpr const char* kCaches = "/Users/bob/Library/Caches";

  ScanFixture() { tree.addUser("bob"); }

  std::string caches() const { return tree.host(kCaches); }

  // Runs the operation on the queue and waits for it.
  void run(const platform::OperationPtr& operation) const {
    queue->addOperation(operation);
    operation->waitUntilFinished();
  }

  // Path -> size of the group's direct file items.
  static std::map<std::string, std::uint64_t> files(const ItemGroup& group) {
    std::map<std::string, std::uint64_t> found;
    group.enumerateObjects([&found](const ModelItemPtr& item, const ModelItemKey&, bool&) {
      if (const auto* file = dynamic_cast<const FileItem*>(item.get())) found[file->path()] = file->size();
    });
    return found;
  }
};

}  // namespace vozi::test

#include "sanitizers/ApplicationsCleaningOperation.h"

#include <cerrno>
#include <vector>

#include "common/ApplicationItem.h"
#include "common/MLog.h"
#include "platform/PosixError.h"
#include "platform/ResourceValues.h"
#include "platform/TreeRemoval.h"

namespace vozi {

void ApplicationsCleaningOperation::main() {
  MLog("start applications cleaning operation");
  ApplicationsGroup& group = *itemGroup();
  std::vector<ModelItemPtr> items;
  group.enumerateObjects([&items](const ModelItemPtr& item, const ModelItemKey&, bool&) { items.push_back(item); });
  std::uint64_t units = 0;
  group.enumerateLeaves([&units](const ModelItemPtr&, bool&) { ++units; });
  for (const ModelItemPtr& item : items) {
    if (dynamic_cast<const ApplicationItem*>(item.get()) != nullptr) ++units;
  }
  setDuration(units);

  // What the leftovers of the applications that stay lost.
  std::uint64_t lost = 0;
  for (const ModelItemPtr& item : items) {
    if (isCancelled() || !shouldRemove(item)) {
      group.removeItem(item);
      continue;
    }
    auto application = std::dynamic_pointer_cast<ApplicationItem>(item);
    if (!application) continue;
    const auto path = application->path();
    if (!path || !removeBundle(item, *path)) {
      group.removeItem(item);
      incrementProgress(1);
      continue;
    }
    lost += removeItemsInGroup(*application);
    didRemove(item);
    incrementProgress(1);
  }
  group.setSize(group.size() > lost ? group.size() - lost : 0);
  progressDidFinish();
  complete(itemGroup(), isCancelled());
}

bool ApplicationsCleaningOperation::removeBundle(const ModelItemPtr& item, const std::string& path) {
  platform::Error error;
  const auto values = platform::ResourceValues::readInTree(
      path, platform::ResourceKeys::IsDirectory | platform::ResourceKeys::IsSymbolicLink, &error);
  if (!values) {
    if (error.domain == platform::PosixError::kDomain && error.code == ENOENT) return true;
    MLog("Error on deleting item: " + item->description() + ")");
    return false;
  }
  if (!values->isDirectory.value_or(false)) {
    MLog(std::string(values->isSymbolicLink.value_or(false) ? "A link" : "Not a bundle") +
         " stands at the application's path, left in place with its leftovers: " + path);
    return false;
  }
  if (!admits(path)) return false;
  const auto removed = platform::TreeRemoval::removeItem(path);
  if (!removed && removed.error().code != ENOENT) {
    MLog("Error on deleting item: " + item->description() + ")");
    return false;
  }
  return true;
}

}  // namespace vozi

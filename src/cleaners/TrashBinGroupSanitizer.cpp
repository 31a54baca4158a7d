#include "cleaners/TrashBinGroupSanitizer.h"

#include "common/MLog.h"
#include "platform/DirectoryWalker.h"
#include "platform/TreeRemoval.h"

namespace vozi {

platform::Result<std::vector<std::string>> TrashBinScanningOperation::userFolders(IUserAgentLink& link) {
  return onlyFolder(link.trashDirectory());
}

void TrashBinScanningOperation::logFailure(const platform::Error&) {
  MLog("Couldn't get trash directory from user agent");
}

void TrashBinCleaningOperation::progressDidFinish() {
  removeEmptyFolders();
  FileSystemCleaningOperation::progressDidFinish();
}

void TrashBinCleaningOperation::removeEmptyFolders() {
  const auto& link = environment().userAgentLink;
  auto trash = link ? link->trashDirectory() : platform::Result<std::string>(UserAgentManagerError::make());
  if (!trash) {
    MLog("Couldn't get trash directory from user agent");
    return;
  }
  using platform::WalkAction;
  platform::DirectoryWalker::walk(*trash, platform::DirectoryEnumerationOptions::None,
                                  [](const platform::DirectoryWalker::Entry& entry) {
                                    if (!entry.isDirectory()) return WalkAction::Continue;
                                    // Gone now: nothing below it to visit.
                                    if (platform::TreeRemoval::removeEmptyFolder(entry.path()))
                                      return WalkAction::SkipDescendants;
                                    return WalkAction::Continue;
                                  });
}

}  // namespace vozi

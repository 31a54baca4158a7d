#include "sanitizers/UserLogsScanningOperation.h"

#include "common/FileManagerAdditions.h"

namespace vozi {

UserLogsScanningOperation::UserLogsScanningOperation(GroupPtr itemGroup, Completion completion,
                                                     ProgressHandler progressHandler,
                                                     std::shared_ptr<IUserAgentLink> userAgentLink)
    : FileSystemScanningOperation(std::move(itemGroup), std::move(completion), std::move(progressHandler)),
      userAgentLink_(std::move(userAgentLink)) {}

std::vector<std::string> UserLogsScanningOperation::scanningRoots() {
  if (logsFolders_) return *logsFolders_;
  auto library = userAgentLink_ ? userAgentLink_->libraryDirectory()
                                : platform::Result<std::string>(UserAgentManagerError::make());
  if (library) {
    logsFolders_ = FileManagerAdditions::userLogsPathsForLibrary(*library);
  } else {
    MLog("Couldn't get libraryDirectory from user agent");
    logsFolders_.emplace();
  }
  return *logsFolders_;
}

}  // namespace vozi

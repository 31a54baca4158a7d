#include "sanitizers/UserCacheScanningOperation.h"

namespace vozi {

UserCacheScanningOperation::UserCacheScanningOperation(GroupPtr itemGroup, Completion completion,
                                                       ProgressHandler progressHandler,
                                                       std::shared_ptr<IUserAgentLink> userAgentLink)
    : FileSystemScanningOperation(std::move(itemGroup), std::move(completion), std::move(progressHandler)),
      userAgentLink_(std::move(userAgentLink)) {}

std::vector<std::string> UserCacheScanningOperation::scanningRoots() {
  if (!cachesFolders_.empty()) return cachesFolders_;
  if (!userAgentLink_) {
    MLog("No user caches to scan: no agent link");
    return {};
  }
  auto caches = userAgentLink_->cachesDirectory();
  if (!caches) {
    MLog("No user caches to scan: " + caches.error().localizedDescription());
    return {};
  }
  cachesFolders_ = {*caches};
  return cachesFolders_;
}

}  // namespace vozi

#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/FileItem.h"
#include "common/UserCacheGroup.h"
#include "ipc/IUserAgentLink.h"
#include "sanitizers/FileSystemScanningOperation.h"

namespace vozi {

// The scan of the session user's caches: its one folder is the Caches
// folder the agent link names (checked by the link before it is handed
// out). Without a link, or when the agent cannot answer, the scan
// completes with an empty group after one log line, and the next read of
// the folders asks the link again. Asked on the operation's thread; the ask
// blocks it until the link answers or gives up.
class UserCacheScanningOperation : public FileSystemScanningOperation<UserCacheGroup, FileItem> {
 public:
  UserCacheScanningOperation(GroupPtr itemGroup, Completion completion, ProgressHandler progressHandler,
                             std::shared_ptr<IUserAgentLink> userAgentLink);

  std::vector<std::string> scanningRoots() override;

 private:
  std::shared_ptr<IUserAgentLink> userAgentLink_;
  std::vector<std::string> cachesFolders_;
};

}  // namespace vozi

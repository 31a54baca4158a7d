#pragma once

#include "common/UserCacheGroup.h"
#include "sanitizers/UserFolderScanningOperation.h"

namespace vozi {

// The scan of the session user's caches: its one folder is the Caches
// folder the agent link names. When the link cannot answer, the next read
// of the folders asks it again.
class UserCacheScanningOperation : public UserFolderScanningOperation<UserCacheGroup> {
 public:
  using UserFolderScanningOperation::UserFolderScanningOperation;

 protected:
  platform::Result<std::vector<std::string>> userFolders(IUserAgentLink& link) override;
  void logFailure(const platform::Error& error) override;
  bool asksAgainAfterFailure() const override { return true; }
};

}  // namespace vozi

#pragma once

#include "common/UserLogsGroup.h"
#include "sanitizers/UserFolderScanningOperation.h"

namespace vozi {

// The scan of the session user's logs: the Logs folder of the Library the
// agent link names, and the logs folder of each application container in
// it. The link is asked once per operation: a failure leaves the scan
// empty, with one log line.
class UserLogsScanningOperation : public UserFolderScanningOperation<UserLogsGroup> {
 public:
  using UserFolderScanningOperation::UserFolderScanningOperation;

 protected:
  platform::Result<std::vector<std::string>> userFolders(IUserAgentLink& link) override;
  void logFailure(const platform::Error& error) override;
};

}  // namespace vozi

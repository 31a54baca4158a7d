#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/FileItem.h"
#include "common/UserLogsGroup.h"
#include "ipc/IUserAgentLink.h"
#include "sanitizers/FileSystemScanningOperation.h"

namespace vozi {

// The scan of the session user's logs: the Logs folder of the Library the
// agent link names, and the logs folder of each application container in
// it. The link is asked once per operation, on the operation's thread (the
// ask blocks until the link answers or gives up); when it cannot answer, or
// there is no link, one log line, and the scan completes with an empty
// group.
class UserLogsScanningOperation : public FileSystemScanningOperation<UserLogsGroup, FileItem> {
 public:
  UserLogsScanningOperation(GroupPtr itemGroup, Completion completion, ProgressHandler progressHandler,
                            std::shared_ptr<IUserAgentLink> userAgentLink);

  std::vector<std::string> scanningRoots() override;

 private:
  std::shared_ptr<IUserAgentLink> userAgentLink_;
  std::optional<std::vector<std::string>> logsFolders_;
};

}  // namespace vozi

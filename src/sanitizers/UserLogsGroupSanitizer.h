#pragma once

#include "common/UserLogsGroup.h"
#include "sanitizers/UserFolderScanningOperation.h"
#include "sanitizers/UserLogsScanningOperation.h"

namespace vozi {

// The sanitizer of the user's logs: its scan walks the session user's log
// folders (UserLogsScanningOperation); its clean is FilesSanitizer's.
class UserLogsGroupSanitizer : public UserFolderSanitizer<UserLogsGroup, UserLogsScanningOperation> {
 public:
  using UserFolderSanitizer::UserFolderSanitizer;
};

}  // namespace vozi

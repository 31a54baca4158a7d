#pragma once

#include "common/UserCacheGroup.h"
#include "sanitizers/UserCacheScanningOperation.h"
#include "sanitizers/UserFolderScanningOperation.h"

namespace vozi {

// The sanitizer of the user's caches: its scan walks the session user's
// Caches folder (UserCacheScanningOperation); its clean is FilesSanitizer's.
class UserCachesSanitizer : public UserFolderSanitizer<UserCacheGroup, UserCacheScanningOperation> {
 public:
  using UserFolderSanitizer::UserFolderSanitizer;
};

}  // namespace vozi

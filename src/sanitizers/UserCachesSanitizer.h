#pragma once

#include "common/UserCacheGroup.h"
#include "sanitizers/FilesSanitizer.h"

namespace vozi {

// The sanitizer of the user's caches: its scan walks the session user's
// Caches folder (UserCacheScanningOperation); its clean is FilesSanitizer's.
class UserCachesSanitizer : public FilesSanitizer<UserCacheGroup> {
 public:
  using FilesSanitizer::FilesSanitizer;

 protected:
  std::shared_ptr<Operation> scanOperation(const GroupPtr& group, Operation::Completion completion,
                                           Operation::ProgressHandler progressHandler) override;
};

}  // namespace vozi

#pragma once

#include "common/UserLogsGroup.h"
#include "sanitizers/FilesSanitizer.h"

namespace vozi {

// The sanitizer of the user's logs: its scan walks the session user's log
// folders (UserLogsScanningOperation); its clean is FilesSanitizer's.
class UserLogsGroupSanitizer : public FilesSanitizer<UserLogsGroup> {
 public:
  using FilesSanitizer::FilesSanitizer;

 protected:
  std::shared_ptr<Operation> scanOperation(const GroupPtr& group, Operation::Completion completion,
                                           Operation::ProgressHandler progressHandler) override;
};

}  // namespace vozi

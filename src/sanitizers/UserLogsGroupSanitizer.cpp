#include "sanitizers/UserLogsGroupSanitizer.h"

#include "sanitizers/UserLogsScanningOperation.h"

namespace vozi {

std::shared_ptr<UserLogsGroupSanitizer::Operation> UserLogsGroupSanitizer::scanOperation(
    const GroupPtr& group, Operation::Completion completion, Operation::ProgressHandler progressHandler) {
  return std::make_shared<UserLogsScanningOperation>(group, std::move(completion), std::move(progressHandler),
                                                     environment().userAgentLink);
}

}  // namespace vozi

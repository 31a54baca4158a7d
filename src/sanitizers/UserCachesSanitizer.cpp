#include "sanitizers/UserCachesSanitizer.h"

#include "sanitizers/UserCacheScanningOperation.h"

namespace vozi {

std::shared_ptr<UserCachesSanitizer::Operation> UserCachesSanitizer::scanOperation(
    const GroupPtr& group, Operation::Completion completion, Operation::ProgressHandler progressHandler) {
  return std::make_shared<UserCacheScanningOperation>(group, std::move(completion), std::move(progressHandler),
                                                      environment().userAgentLink);
}

}  // namespace vozi

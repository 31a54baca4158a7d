#pragma once

#include <functional>
#include <memory>

#include "common/ItemGroup.h"
#include "ipc/IUserAgentLink.h"
#include "platform/OperationQueue.h"
#include "sanitizers/CleaningScope.h"
#include "sanitizers/ISanitizer.h"

namespace vozi {

// What the sanitizing processor gives the sanitizer of one group of one
// request: the queue its operation goes on, the link to the session user's
// agent (null: no user folders), and, for a clean, what the clean may delete
// (null: nothing).
struct SanitizerEnvironment {
  std::shared_ptr<platform::OperationQueue> operationQueue;
  std::shared_ptr<IUserAgentLink> userAgentLink;
  std::shared_ptr<const CleaningScope> cleaningScope;
};

// Makes the sanitizer of a group the processor matched to a row of its
// choice; null when the group is of no use to it.
using SanitizerFactory =
    std::function<std::unique_ptr<ISanitizer>(const ItemGroupPtr& group, const SanitizerEnvironment& environment)>;

}  // namespace vozi

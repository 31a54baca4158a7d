#include "ipc/NamedServicesLog.h"

#include <memory>
#include <string>

#include "common/LogRateLimiter.h"
#include "common/MLog.h"
#include "platform/services/ServiceLog.h"

namespace vozi {

void NamedServicesLog::install() {
  static const auto budget = std::make_shared<LogRateLimiter>("Named services");
  // The transport has already made the line printable and bounded it.
  platform::ServiceLog::setHook([](const std::string& line) {
    if (budget->allow()) MLogf("%@", line);
  });
}

}  // namespace vozi

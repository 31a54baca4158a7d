#include "sanitizers/UserCacheScanningOperation.h"

namespace vozi {

platform::Result<std::vector<std::string>> UserCacheScanningOperation::userFolders(IUserAgentLink& link) {
  return onlyFolder(link.cachesDirectory());
}

void UserCacheScanningOperation::logFailure(const platform::Error& error) {
  MLog("No user caches to scan: " + error.localizedDescription());
}

}  // namespace vozi

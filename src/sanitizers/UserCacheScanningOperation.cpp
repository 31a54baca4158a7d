#include "sanitizers/UserCacheScanningOperation.h"

namespace vozi {

platform::Result<std::vector<std::string>> UserCacheScanningOperation::userFolders(IUserAgentLink& link) {
  auto caches = link.cachesDirectory();
  if (!caches) return caches.error();
  return std::vector<std::string>{std::move(*caches)};
}

void UserCacheScanningOperation::logFailure(const platform::Error& error) {
  MLog("No user caches to scan: " + error.localizedDescription());
}

}  // namespace vozi

#include "sanitizers/UserLogsScanningOperation.h"

#include "common/FileManagerAdditions.h"

namespace vozi {

platform::Result<std::vector<std::string>> UserLogsScanningOperation::userFolders(IUserAgentLink& link) {
  auto library = link.libraryDirectory();
  if (!library) return library.error();
  return FileManagerAdditions::userLogsPathsForLibrary(*library);
}

void UserLogsScanningOperation::logFailure(const platform::Error&) {
  MLog("Couldn't get libraryDirectory from user agent");
}

}  // namespace vozi

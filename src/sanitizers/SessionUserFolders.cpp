#include "sanitizers/SessionUserFolders.h"

#include "common/MLog.h"
#include "platform/FileSystemLayout.h"
#include "platform/HostRoot.h"
#include "platform/PathComponents.h"

namespace vozi {

std::string SessionUserFolders::allowedFolder(IUserAgentLink* userAgentLink) {
  if (userAgentLink) {
    if (const auto library = userAgentLink->libraryDirectory())
      return platform::PathComponents::normalized(*library + "/..");
  }
  return platform::HostRoot::resolve(platform::FileSystemLayout::kUsersFolder);
}

std::vector<std::string> SessionUserFolders::confined(const std::optional<std::vector<platform::URL>>& urls,
                                                      const std::string& allowedFolder, std::string_view what) {
  std::vector<std::string> folders;
  if (!urls) return folders;
  for (const platform::URL& url : *urls) {
    const std::string path(platform::PathComponents::withoutTrailingSlashes(url.path()));
    if (url.isFileURL() && platform::PathComponents::isCanonicalAbsolute(path) &&
        platform::PathComponents::isSameOrInside(path, allowedFolder)) {
      folders.push_back(path);
    } else {
      MLog(std::string(what) + ", outside " + allowedFolder + ": " + url.path());
    }
  }
  return folders;
}

}  // namespace vozi

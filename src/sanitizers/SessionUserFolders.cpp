#include "sanitizers/SessionUserFolders.h"

#include <cerrno>

#include "common/MLog.h"
#include "platform/FileManager.h"
#include "platform/FileSystemLayout.h"
#include "platform/HostRoot.h"
#include "platform/PathComponents.h"
#include "platform/PosixError.h"
#include "platform/TreePath.h"
#include "platform/TreeRemoval.h"

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

std::optional<std::string> SessionUserFolders::trashOfHomeHolding(const std::string& path) {
  const std::string users = platform::HostRoot::resolve(platform::FileSystemLayout::kUsersFolder);
  if (!platform::PathComponents::isInside(path, users)) return std::nullopt;
  const std::string_view rest = std::string_view(path).substr(users.size() + 1);
  const std::string home = platform::PathComponents::appending(users, rest.substr(0, rest.find('/')));
  const std::string trash = platform::PathComponents::appending(home, ".Trash");
  const auto homeFolder = platform::TreePath::openFolder(home);
  const auto trashFolder = platform::TreePath::openFolder(trash);
  if (!homeFolder || !trashFolder || homeFolder->owner != trashFolder->owner) return std::nullopt;
  return trash;
}

platform::Result<void> SessionUserFolders::removeOrTrash(const std::string& path, bool toTrash) {
  if (toTrash) {
    const auto trash = trashOfHomeHolding(path);
    if (!trash) return platform::PosixError::make(ENOENT, path + " (no Trash to move it to)");
    auto moved = platform::FileManager::defaultManager().trashItem(path, *trash);
    if (!moved) return moved.error();
    return {};
  }
  auto gone = platform::TreeRemoval::removeItem(path);
  if (!gone) return gone.error();
  return {};
}

}  // namespace vozi

#include "common/FileManagerAdditions.h"

#include <cerrno>
#include <cstdio>

#include "common/FileManager.h"
#include "common/MLog.h"
#include "platform/DirectoryWalker.h"
#include "platform/HostRoot.h"
#include "platform/PathComponents.h"
#include "platform/ProcessInfo.h"
#include "platform/ProcessUser.h"
#include "platform/TreePath.h"

namespace vozi {

using platform::PathComponents;
using platform::SearchPathDirectory;
using platform::SearchPathDomainMask;

namespace {

std::optional<std::string> first(const std::vector<std::string>& urls) {
  if (urls.empty()) return std::nullopt;
  return urls.front();
}

void appendOnce(std::vector<std::string>& list, const std::string& path) {
  for (const std::string& held : list)
    if (held == path) return;
  list.push_back(path);
}

}  // namespace

std::optional<std::string> FileManagerAdditions::applicationsDirectory(const platform::FileManager& fileManager) {
  return first(fileManager.urls(SearchPathDirectory::Applications, SearchPathDomainMask::Local));
}

std::optional<std::string> FileManagerAdditions::libraryDirectory(const platform::FileManager& fileManager) {
  return first(fileManager.urls(SearchPathDirectory::Library, SearchPathDomainMask::Local));
}

std::string FileManagerAdditions::systemDirectory() { return platform::HostRoot::resolve(kSystemPath); }

std::vector<std::string> FileManagerAdditions::cachesDirectories(const platform::FileManager& fileManager) {
  return fileManager.urls(SearchPathDirectory::Caches, SearchPathDomainMask::System);
}

std::optional<std::string> FileManagerAdditions::userHomeDirectory(const std::string& userName,
                                                                   const platform::FileManager& fileManager) {
  return FileManager::homeDirectory(userName, fileManager);
}

std::vector<std::string> FileManagerAdditions::usersDomainMaskFor(SearchPathDirectory directory,
                                                                  const platform::FileManager& fileManager,
                                                                  const std::string& userName) {
  std::vector<std::string> urls = fileManager.urls(directory, SearchPathDomainMask::User);
  if (!platform::ProcessUser::isSuperUser()) return urls;

  // Running as root, the user domain is root's own home: move each folder
  // to the same place in the named user's home.
  const auto userHome = userHomeDirectory(userName, fileManager);
  if (!userHome) return {};
  const std::string rootHome = fileManager.homeDirectoryForCurrentUser().value_or(
      platform::HostRoot::resolve(platform::FileSystemLayout::kSuperUserHome));
  const std::string base = PathComponents::normalized(rootHome);
  std::vector<std::string> mapped;
  for (const std::string& url : urls) {
    const std::string path = PathComponents::normalized(url);
    if (path == base)
      mapped.push_back(*userHome);
    else if (PathComponents::isInside(path, base))
      mapped.push_back(PathComponents::appending(*userHome, std::string_view(path).substr(base.size())));
    // A folder outside root's home is not the user's; it is left out.
  }
  return mapped;
}

std::vector<std::string> FileManagerAdditions::usersLibrary(const std::string& userName) {
  return usersDomainMaskFor(SearchPathDirectory::Library, platform::FileManager::defaultManager(), userName);
}

std::vector<std::string> FileManagerAdditions::leftoversDirectories(const std::string& userName,
                                                                    const platform::FileManager& fileManager) {
  return FileManager::leftoversDirs(userName, fileManager);
}

std::vector<std::string> FileManagerAdditions::userLogsPaths(const std::string& userName) {
  const auto libraries = usersLibrary(userName);
  if (libraries.empty()) return {};
  return userLogsPathsForLibrary(libraries.front());
}

std::vector<std::string> FileManagerAdditions::userLogsPathsForLibrary(const std::string& library) {
  std::vector<std::string> paths = findDirs(platform::FileManager::defaultManager(),
                                            PathComponents::appending(library, kContainersFolder), kContainerLogsSuffix);
  paths.push_back(PathComponents::appending(library, kLogsFolder));
  return paths;
}

std::vector<std::string> FileManagerAdditions::usersCache(const std::string& userName) {
  std::vector<std::string> caches;
  const auto libraries = usersLibrary(userName);
  if (!libraries.empty()) {
    for (const std::string& folder : findDirs(platform::FileManager::defaultManager(),
                                              PathComponents::appending(libraries.front(), kContainersFolder),
                                              kContainerCachesSuffix))
      appendOnce(caches, folder);
  }
  for (const std::string& folder :
       usersDomainMaskFor(SearchPathDirectory::Caches, platform::FileManager::defaultManager(), userName))
    appendOnce(caches, folder);
  return caches;
}

std::vector<std::string> FileManagerAdditions::usersMailAttachment(const std::string& userName) {
  const auto libraries = usersLibrary(userName);
  if (libraries.empty()) return {};
  return {PathComponents::appending(libraries.front(), kMailDownloads)};
}

std::optional<std::string> FileManagerAdditions::userTemporary(const std::string& userName) {
  const auto home = userHomeDirectory(userName, platform::FileManager::defaultManager());
  if (!home) return std::nullopt;
  return PathComponents::appending(*home, kTemporaryPath);
}

std::vector<std::string> FileManagerAdditions::temporary(const std::optional<std::string>& userName) {
  std::vector<std::string> folders;
  if (userName) {
    if (auto user = userTemporary(*userName)) folders.push_back(*user);
  }
  if (auto global = globalTemporary()) folders.push_back(*global);
  return folders;
}

std::optional<std::string> FileManagerAdditions::globalTemporary() {
  // Only the layout's own link is taken ("/tmp" holding "private/tmp", made
  // by the tree's owner), and only when its destination opens without a
  // link on the way: any other text could lead anywhere.
  auto destination = platform::TreePath::layoutLinkDestination(kTemporaryPath);
  if (!destination) {
    if (destination.error().code == ELOOP)
      MLogf("Not using the global temporary directory: %@", destination.error().localizedDescription());
    std::fprintf(stderr, "Attention! Global temporary directory not found.\n");
    return std::nullopt;
  }
  const std::string path = platform::HostRoot::resolve(*destination);
  auto folder = platform::TreePath::openFolder(path);
  if (!folder) {
    MLogf("Not using the global temporary directory: %@", folder.error().localizedDescription());
    return std::nullopt;
  }
  return path;
}

std::optional<std::string> FileManagerAdditions::processTemporary() {
  std::string treePath = platform::HostRoot::unresolve(
      platform::PathComponents::withoutTrailingSlashes(platform::NSTemporaryDirectory()));
  if (auto destination = platform::TreePath::layoutLinkDestination(treePath)) treePath = *destination;
  const std::string path = platform::HostRoot::resolve(treePath);
  if (!platform::TreePath::openFolder(path)) return std::nullopt;
  return path;
}

std::vector<std::string> FileManagerAdditions::temporaryFilesScanningFolders() {
  std::vector<std::string> candidates;
  if (auto own = processTemporary()) candidates.push_back(*own);
  for (std::string& folder : temporary(std::nullopt)) candidates.push_back(std::move(folder));
  std::vector<std::string> folders;
  for (std::size_t index = 0; index < candidates.size(); ++index) {
    bool covered = false;
    for (std::size_t other = 0; other < candidates.size() && !covered; ++other) {
      if (other == index) continue;
      if (candidates[index] == candidates[other]) {
        covered = other < index;  // the first of equal ones stays
      } else {
        covered = platform::PathComponents::isInside(candidates[index], candidates[other]);
      }
    }
    if (!covered) folders.push_back(candidates[index]);
  }
  return folders;
}

std::vector<std::string> FileManagerAdditions::findDirs(const platform::FileManager& fileManager,
                                                        const std::string& url, const std::string& suffix) {
  std::vector<std::string> found;
  fileManager.enumerate(url, platform::DirectoryEnumerationOptions::SkipsPackageDescendants,
                        [&](const platform::DirectoryWalker::Entry& entry) {
                          std::string path = entry.path();
                          if (entry.isDirectory()) path += '/';
                          if (path.size() >= suffix.size() &&
                              path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
                            found.push_back(entry.path());
                            // Its inside is part of what was found.
                            return platform::WalkAction::SkipDescendants;
                          }
                          return platform::WalkAction::Continue;
                        });
  return found;
}

}  // namespace vozi

#include "common/FileManager.h"

#include <cctype>
#include <cerrno>
#include <cstdio>

#include "common/MLog.h"
#include "common/StringExtensions.h"
#include "platform/FileSystemLayout.h"
#include "platform/HostRoot.h"
#include "platform/PathComponents.h"
#include "platform/TreePath.h"

namespace vozi {

using platform::DirectoryWalker;
using platform::PathComponents;
using platform::WalkAction;

namespace {

constexpr const char* kLeftoverFolderNames[] = {
    "Application Support", "Preferences", "LaunchAgents", "LaunchDaemons",
    "PreferencePanes",     "StartupItems", "Saved Application State",
};

std::optional<platform::ResourceValues> valuesOf(const DirectoryWalker::Entry& entry, platform::ResourceKeys keys) {
  if (keys == platform::ResourceKeys::None) return std::nullopt;
  return entry.resourceValues(keys);
}

std::optional<platform::ResourceValues> valuesOf(const platform::TreePath::Item& item, platform::ResourceKeys keys) {
  if (keys == platform::ResourceKeys::None) return std::nullopt;
  return platform::ResourceValues::read(item.parent.descriptor.get(), item.name.c_str(), keys);
}

// Opens one root of a walk from the host root, component by component
// (TreePath): a folder is handed to walkFolder as an open descriptor, which
// the walk goes on from; anything else stands for itself and is handed to
// reportItself. Nothing at the path gives nothing; a root that cannot be
// reached, such as one with a link on the way, gives a log line naming it
// and goes to the error handler.
void openRoot(const std::string& root, const std::function<void(platform::FileDescriptor, const std::string&)>& walkFolder,
              const std::function<void(const platform::TreePath::Item&, const std::string&)>& reportItself,
              const FileManager::ErrorHandler& errorHandler = {}) {
  const std::string path(PathComponents::withoutTrailingSlashes(root));
  auto item = platform::TreePath::openItem(path);
  if (!item) {
    if (item.error().code == ENOENT) return;
    MLogf("Not walking %@: %@", path, item.error().localizedDescription());
    if (errorHandler) errorHandler(path, item.error());
    return;
  }
  if (item->folder)
    walkFolder(std::move(item->folder), path);
  else
    reportItself(*item, path);
}

DirectoryWalker::ErrorHandler forward(const FileManager::ErrorHandler& errorHandler) {
  if (!errorHandler) return {};
  return [&errorHandler](const std::string& path, const platform::Error& error) { return errorHandler(path, error); };
}

}  // namespace

FileManager& FileManager::defaultManager() {
  static FileManager shared;
  return shared;
}

void FileManager::enumerate(const std::vector<std::string>& directories, Keys keys, Options options,
                            const FileHandler& fileHandler, const ErrorHandler& errorHandler) const {
  auto reportItself = [&](const platform::TreePath::Item& item, const std::string& path) {
    if (fileHandler) fileHandler(path, valuesOf(item, keys));
  };
  for (const std::string& root : directories) {
    openRoot(
        root,
        [&](platform::FileDescriptor folder, const std::string& path) {
          DirectoryWalker::walk(
              std::move(folder), path, options,
              [&](const DirectoryWalker::Entry& entry) {
                if (fileHandler) fileHandler(entry.path(), valuesOf(entry, keys));
                return WalkAction::Continue;
              },
              forward(errorHandler));
        },
        reportItself, errorHandler);
  }
}

void FileManager::enumerate(const std::vector<std::string>& directories, Keys keys, Options options,
                            const FileHandler& fileHandler, const SubpathHandler& subpathHandler,
                            const ErrorHandler& errorHandler, const Canceller& canceller) const {
  const bool skipPackages = contains(options, Options::SkipsPackageDescendants);
  // The walk decides every descent itself; only hidden names are left to
  // the listing.
  const Options listing = options & Options::SkipsHiddenFiles;
  auto reportItself = [&](const platform::TreePath::Item& item, const std::string& path) {
    if (fileHandler) fileHandler(path, valuesOf(item, keys));
  };
  for (const std::string& root : directories) {
    openRoot(root, [&](platform::FileDescriptor folder, const std::string& path) {
    DirectoryWalker::walk(
        std::move(folder), path, listing,
        [&](const DirectoryWalker::Entry& entry) {
          if (canceller && canceller()) return WalkAction::SkipSiblings;
          const FileManagerEnumerationAction action =
              subpathHandler ? subpathHandler(entry.path()) : FileManagerEnumerationAction::continueEnumeration;
          if (action == FileManagerEnumerationAction::skipPath) return WalkAction::SkipDescendants;
          if (!entry.isDirectory()) {
            if (fileHandler) fileHandler(entry.path(), valuesOf(entry, keys));
            return WalkAction::Continue;
          }
          if (fileHandler) fileHandler(entry.path(), std::nullopt);
          if (action == FileManagerEnumerationAction::foundNeeded) return WalkAction::SkipDescendants;
          if (skipPackages && entry.isPackage()) return WalkAction::SkipDescendants;
          return WalkAction::Continue;
        },
        forward(errorHandler));
    }, reportItself, errorHandler);
  }
}

std::uint64_t FileManager::numberOfPaths(const std::vector<std::string>& urls, Options options,
                                         const Canceller& canceller) const {
  std::printf("number of paths from %s\n", bracketedList(urls).c_str());
  std::fflush(stdout);

  std::uint64_t count = 0;
  enumerate(
      urls, Keys::None, options, [&count](const std::string&, const auto&) { ++count; }, SubpathHandler{},
      ErrorHandler{}, canceller);
  return count;
}

bool FileManager::isDirectoryEmpty(const std::string& path) const {
  const auto names = contentOfDirectory(path);
  return !names || names->empty();
}

std::optional<std::vector<std::string>> FileManager::contentOfDirectory(const std::string& path) const {
  if (!fileExists(path)) return std::nullopt;
  platform::Error error;
  auto names = contentsOfDirectory(path, &error);
  if (!names) {
    MLogf("Directory isn't exist at path:%@ (%@)", path, error.localizedDescription());
    return std::nullopt;
  }
  return names;
}

std::optional<std::vector<std::string>> FileManager::contentOfDirectory(const std::string& path,
                                                                        const std::string& filesExtension) const {
  auto names = contentOfDirectory(path);
  if (!names) return std::nullopt;
  std::vector<std::string> kept;
  for (const std::string& name : *names) {
    const std::string lower = asciiLowercased(name);
    if (lower.size() >= filesExtension.size() &&
        lower.compare(lower.size() - filesExtension.size(), filesExtension.size(), filesExtension) == 0)
      kept.push_back(name);
  }
  return kept;
}

void FileManager::createDirectoriesIfNotExist(const std::string& path) const {
  if (fileExists(path)) return;
  platform::Error error;
  if (!createDirectory(path, true, &error)) {
    MLogf("Failed create directory at path:%@ (%@)", path, error.localizedDescription());
  }
}

std::vector<std::string> FileManager::filesAt(const std::vector<std::string>& paths) const {
  std::vector<std::string> all;
  for (const std::string& path : paths) {
    auto below = subpathsOfDirectory(path);
    if (below) all.insert(all.end(), below->begin(), below->end());
  }
  return all;
}

bool FileManager::isFileInOtherUserSpace(const std::string& path) const {
  const auto users = urls(platform::SearchPathDirectory::Users, platform::SearchPathDomainMask::Local);
  if (users.empty()) return false;
  if (!PathComponents::isInside(path, users.front())) return false;
  const auto home = homeDirectoryForCurrentUser();
  return !(home && PathComponents::isSameOrInside(path, *home));
}

std::uint64_t FileManager::directorySize(const std::string& url) {
  std::uint64_t total = 0;
  openRoot(
      url,
      [&total](platform::FileDescriptor folder, const std::string& path) {
        // Folders have no size of their own, so only the other entries are read.
        DirectoryWalker::walk(std::move(folder), path, Options::None, [&total](const DirectoryWalker::Entry& entry) {
          if (!entry.isDirectory()) {
            auto values = entry.resourceValues(Keys::FileSize);
            if (values && values->fileSize) total += *values->fileSize;
          }
          return WalkAction::Continue;
        });
      },
      [&total](const platform::TreePath::Item& item, const std::string&) {
        auto values = valuesOf(item, Keys::FileSize);
        if (values && values->fileSize) total = *values->fileSize;
      });
  return total;
}

std::string FileManager::addPlistExtensionIfNeeded(const std::string& name) {
  const std::string suffix = plistFileExtension;
  if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
    return name;
  return name + "." + suffix;
}

std::optional<std::string> FileManager::homeDirectory(const std::string& userName,
                                                      const platform::FileManager& fileManager) {
  if (!platform::FileSystemLayout::isValidUserName(userName)) return std::nullopt;
  if (userName == platform::FileSystemLayout::kSuperUserName)
    return platform::HostRoot::resolve(platform::FileSystemLayout::kSuperUserHome);
  const auto users = fileManager.urls(platform::SearchPathDirectory::Users, platform::SearchPathDomainMask::Local);
  const std::string base =
      users.empty() ? platform::HostRoot::resolve(platform::FileSystemLayout::kUsersFolder) : users.front();
  return PathComponents::appending(base, userName);
}

std::optional<std::string> FileManager::getUserHomeDir(const std::string& userName) {
  return homeDirectory(userName, platform::FileManager::defaultManager());
}

std::vector<std::string> FileManager::leftoversDirs(const std::string& userName) {
  return leftoversDirs(userName, platform::FileManager::defaultManager());
}

std::vector<std::string> FileManager::leftoversDirs(const std::string& userName,
                                                    const platform::FileManager& fileManager) {
  const auto home = homeDirectory(userName, fileManager);
  if (!home) return {};
  const std::string library = PathComponents::appending(*home, "Library");
  std::vector<std::string> folders;
  for (const char* name : kLeftoverFolderNames) {
    folders.push_back(platform::HostRoot::resolve(std::string("/Library/") + name));
    folders.push_back(PathComponents::appending(library, name));
  }
  return folders;
}

}  // namespace vozi

#include "platform/FileManager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/FilePackage.h"
#include "platform/PathComponents.h"
#include "platform/PosixError.h"
#include "platform/ProcessUser.h"
#include "platform/TreePath.h"

namespace vozi::platform {

namespace {

std::string withoutTrailingSlash(const std::string& path) {
  return std::string(PathComponents::withoutTrailingSlashes(path));
}

bool lstatOf(const std::string& path, struct stat& info) {
  if (path.empty()) return false;
  return ::lstat(withoutTrailingSlash(path).c_str(), &info) == 0;
}

}  // namespace

FileManager& FileManager::defaultManager() {
  static FileManager shared;
  return shared;
}

std::vector<std::string> FileManager::urls(SearchPathDirectory directory, SearchPathDomainMask domains) const {
  return FileSystemLayout::urls(directory, domains, ProcessUser::homeTreePath());
}

std::optional<std::string> FileManager::homeDirectoryForCurrentUser() const { return ProcessUser::homeDirectory(); }

bool FileManager::fileExists(const std::string& path) const {
  struct stat info {};
  return lstatOf(path, info);
}

bool FileManager::fileExists(const std::string& path, bool* isDirectory) const {
  struct stat info {};
  const bool exists = lstatOf(path, info);
  if (isDirectory) *isDirectory = exists && S_ISDIR(info.st_mode);
  return exists;
}

bool FileManager::isDirectory(const std::string& path) const {
  struct stat info {};
  return lstatOf(path, info) && S_ISDIR(info.st_mode);
}

bool FileManager::isSymbolicLink(const std::string& path) const {
  struct stat info {};
  return lstatOf(path, info) && S_ISLNK(info.st_mode);
}

bool FileManager::isFilePackage(const std::string& path) const {
  return FilePackage::isFilePackage(withoutTrailingSlash(path));
}

std::optional<std::vector<std::string>> FileManager::contentsOfDirectory(const std::string& path, Error* error) const {
  std::vector<std::string> names;
  const bool opened = DirectoryWalker::walk(
      path, DirectoryEnumerationOptions::SkipsSubdirectoryDescendants,
      [&names](const DirectoryWalker::Entry& entry) {
        names.emplace_back(entry.name());
        return WalkAction::Continue;
      },
      {}, error);
  if (!opened) return std::nullopt;
  return names;
}

std::optional<std::vector<std::string>> FileManager::subpathsOfDirectory(const std::string& path, Error* error) const {
  std::vector<std::string> paths;
  const bool opened = DirectoryWalker::walk(
      path, DirectoryEnumerationOptions::None,
      [&paths](const DirectoryWalker::Entry& entry) {
        paths.emplace_back(entry.relativePath());
        return WalkAction::Continue;
      },
      {}, error);
  if (!opened) return std::nullopt;
  return paths;
}

bool FileManager::createDirectory(const std::string& path, bool withIntermediateDirectories, Error* error) const {
  const std::string target = withoutTrailingSlash(path);
  if (target.empty()) {
    PosixError::set(error, ENOENT, path);
    return false;
  }
  if (!withIntermediateDirectories) {
    if (::mkdir(target.c_str(), 0755) == 0) return true;
    PosixError::set(error, errno, target);
    return false;
  }
  // Create each missing folder from the top down; an existing folder (or a
  // link to one, as the system resolves it) along the way is fine.
  std::size_t position = 0;
  while (position != std::string::npos) {
    position = target.find('/', position + 1);
    const std::string prefix = target.substr(0, position);
    if (prefix.empty()) continue;
    if (::mkdir(prefix.c_str(), 0755) == 0) continue;
    const int code = errno;
    struct stat info {};
    if (code == EEXIST && ::stat(prefix.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) continue;
    PosixError::set(error, code == EEXIST ? ENOTDIR : code, prefix);
    return false;
  }
  return true;
}

std::optional<std::string> FileManager::destinationOfSymbolicLink(const std::string& path, Error* error) const {
  const std::string link = withoutTrailingSlash(path);
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (length < 0) {
      PosixError::set(error, errno, link);
      return std::nullopt;
    }
    if (static_cast<std::size_t>(length) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(length));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::optional<ResourceValues> FileManager::resourceValues(const std::string& path, ResourceKeys keys,
                                                          Error* error) const {
  return ResourceValues::read(path, keys, error);
}

bool FileManager::enumerate(const std::string& root, DirectoryEnumerationOptions options,
                            const DirectoryWalker::Visitor& visitor, const DirectoryWalker::ErrorHandler& errorHandler,
                            Error* error) const {
  return DirectoryWalker::walk(root, options, visitor, errorHandler, error);
}

Result<std::string> FileManager::trashItem(const std::string& path, const std::string& trash) const {
  auto parent = TreePath::openParent(path);
  if (!parent) return parent.error();
  auto folder = TreePath::openFolder(trash);
  if (!folder) return folder.error();
  const std::string& name = parent->name;
  const std::string_view extension = FilePackage::extension(name);
  const std::string stem = extension.empty() ? name : name.substr(0, name.size() - extension.size() - 1);
  for (int copy = 1; copy < 1000; ++copy) {
    const std::string candidate =
        copy == 1 ? name : stem + " " + std::to_string(copy) + (extension.empty() ? "" : "." + std::string(extension));
    // RENAME_NOREPLACE: a name taken at that very moment is never replaced.
    if (::renameat2(parent->folder.descriptor.get(), name.c_str(), folder->descriptor.get(), candidate.c_str(),
                    RENAME_NOREPLACE) == 0) {
      return PathComponents::appending(trash, candidate);
    }
    if (errno != EEXIST) return PosixError::make(errno, path);
  }
  return PosixError::make(EEXIST, path);
}

}  // namespace vozi::platform

#include "sanitizers/ItemRemoval.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/PosixError.h"
#include "platform/TreePath.h"

namespace vozi {

namespace {

// Empties the folder `name` inside `parent` and removes it; errno on failure.
int removeFolder(int parent, const std::string& name) {
  const int folder = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return errno;
  DIR* listing = ::fdopendir(folder);
  if (listing == nullptr) {
    const int error = errno;
    ::close(folder);
    return error;
  }
  // Names first, then deletes: a folder is not changed while it is read.
  std::vector<std::pair<std::string, bool>> entries;
  while (dirent* entry = ::readdir(listing)) {
    const std::string child = entry->d_name;
    if (child == "." || child == "..") continue;
    bool isFolder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat status {};
      isFolder = ::fstatat(folder, child.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
    }
    entries.emplace_back(child, isFolder);
  }
  int failure = 0;
  for (const auto& [child, isFolder] : entries) {
    const int error = isFolder ? removeFolder(folder, child)
                               : (::unlinkat(folder, child.c_str(), 0) == 0 ? 0 : errno);
    if (error != 0 && error != ENOENT && failure == 0) failure = error;
  }
  ::closedir(listing);
  if (failure != 0) return failure;
  return ::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

}  // namespace

platform::Result<ItemRemoval::Outcome> ItemRemoval::remove(const std::string& hostPath) {
  auto parent = platform::TreePath::openParent(hostPath);
  if (!parent) {
    if (parent.error().domain == platform::PosixError::kDomain && parent.error().code == ENOENT) return Outcome::missing;
    return parent.error();
  }
  const int folder = parent->folder.descriptor.get();
  const std::string& name = parent->name;
  struct stat status {};
  if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return Outcome::missing;
    return platform::PosixError::make(errno, hostPath);
  }
  const int error = S_ISDIR(status.st_mode) ? removeFolder(folder, name)
                                            : (::unlinkat(folder, name.c_str(), 0) == 0 ? 0 : errno);
  if (error == ENOENT) return Outcome::missing;
  if (error != 0) return platform::PosixError::make(error, hostPath);
  return Outcome::removed;
}

}  // namespace vozi

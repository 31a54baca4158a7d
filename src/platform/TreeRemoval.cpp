#include "platform/TreeRemoval.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/HostRoot.h"
#include "platform/PathComponents.h"
#include "platform/PosixError.h"
#include "platform/TreePath.h"

namespace vozi::platform {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// One folder on the way down from the item: where it is, what it must be,
// and the names in it still to delete.
struct Level {
  FileDescriptor folder;  // closed while the level is out of the window
  std::string name;       // in the level above
  dev_t device = 0;
  ino_t inode = 0;
  bool listed = false;
  std::vector<std::string> names;
};

bool sameItem(int fd, const Level& level) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_dev == level.device &&
         info.st_ino == level.inode;
}

// The names in an open folder, without "." and "..".
Result<std::vector<std::string>> namesIn(int folder) {
  const int copy = ::dup(folder);
  if (copy < 0) return PosixError::make(errno, "");
  DIR* stream = ::fdopendir(copy);
  if (!stream) {
    const int error = errno;
    ::close(copy);
    return PosixError::make(error, "");
  }
  ::rewinddir(stream);
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = ::readdir(stream)) {
    const std::string_view name(entry->d_name);
    if (name != "." && name != "..") names.emplace_back(name);
    errno = 0;
  }
  const int error = errno;
  ::closedir(stream);
  if (error != 0) return PosixError::make(error, "");
  return names;
}

// Empties the folder held by levels[0] (the item), depth first, with an
// explicit stack of which at most kOpenFolders levels below the item hold
// a descriptor.
class FolderEmptier {
 public:
  explicit FolderEmptier(Level item) { levels_.push_back(std::move(item)); }

  TreeRemoval::Removed removed;

  // 0, or the first failure's errno.
  int run() {
    while (!levels_.empty()) {
      if (const int error = reopen(levels_.size() - 1)) return fail(error);
      Level& level = levels_.back();
      if (!level.listed) {
        auto names = namesIn(level.folder.get());
        if (!names) {
          fail(static_cast<int>(names.error().code));
          names = std::vector<std::string>{};
        }
        level.names = std::move(*names);
        level.listed = true;
      }
      if (level.names.empty()) {
        if (levels_.size() == 1) return firstError_;
        const std::string name = std::move(level.name);
        levels_.pop_back();
        if (const int error = reopen(levels_.size() - 1)) return fail(error);
        if (::unlinkat(levels_.back().folder.get(), name.c_str(), AT_REMOVEDIR) == 0)
          ++removed.items;
        else
          fail(errno);
        continue;
      }
      const std::string name = std::move(level.names.back());
      level.names.pop_back();
      removeEntry(level.folder.get(), name);
    }
    return firstError_;
  }

 private:
  int fail(int error) {
    if (firstError_ == 0) firstError_ = error;
    return firstError_;
  }

  void removeEntry(int folder, const std::string& name) {
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) fail(errno);
      return;
    }
    if (S_ISDIR(info.st_mode)) {
      if (info.st_dev != levels_.front().device) {
        fail(EXDEV);
        return;
      }
      FileDescriptor child(::openat(folder, name.c_str(), kFolderFlags));
      Level next;
      next.name = name;
      next.device = info.st_dev;
      next.inode = info.st_ino;
      if (!child || !sameItem(child.get(), next)) {
        // Swapped since it was looked at: whatever stands there now is
        // removed as itself if it is no folder, never entered.
        if (::unlinkat(folder, name.c_str(), 0) == 0)
          ++removed.items;
        else if (errno != ENOENT)
          fail(errno);
        return;
      }
      next.folder = std::move(child);
      levels_.push_back(std::move(next));
      trimWindow();
      return;
    }
    if (::unlinkat(folder, name.c_str(), 0) != 0) {
      if (errno != ENOENT) fail(errno);
      return;
    }
    ++removed.items;
    if (S_ISREG(info.st_mode)) removed.bytes += static_cast<std::uint64_t>(info.st_size);
  }

  // Closes the shallowest open levels below the item beyond the window.
  void trimWindow() {
    std::size_t open = 0;
    for (std::size_t i = levels_.size(); i-- > 1;) {
      if (!levels_[i].folder) continue;
      if (++open > TreeRemoval::kOpenFolders) levels_[i].folder.reset();
    }
  }

  // Makes sure levels_[index] holds its folder: reopens the closed levels
  // from the deepest open one above, each checked to be the folder left.
  int reopen(std::size_t index) {
    if (levels_[index].folder) return 0;
    std::size_t from = index;
    while (!levels_[from].folder) --from;  // levels_[0] is always open
    for (std::size_t i = from + 1; i <= index; ++i) {
      FileDescriptor fd(::openat(levels_[i - 1].folder.get(), levels_[i].name.c_str(), kFolderFlags));
      if (!fd) return errno == ENOENT ? EAGAIN : errno;
      if (!sameItem(fd.get(), levels_[i])) return EAGAIN;
      levels_[i].folder = std::move(fd);
    }
    trimWindow();
    return 0;
  }

  std::vector<Level> levels_;
  int firstError_ = 0;
};

// A host path that names something strictly inside the host root, with no
// ".", ".." or empty component.
bool isRemovablePath(std::string_view path) {
  if (path.empty() || path.front() != '/') return false;
  const std::string root = HostRoot::root();
  std::string_view inside = path;
  if (!root.empty()) {
    if (path.substr(0, root.size()) != root || path.size() <= root.size() + 1 || path[root.size()] != '/')
      return false;
    inside.remove_prefix(root.size());
  }
  inside.remove_prefix(1);
  if (inside.empty()) return false;
  while (!inside.empty()) {
    const std::size_t end = inside.find('/');
    const std::string_view component = inside.substr(0, end);
    if (!PathComponents::isSingleComponent(component)) return false;
    if (end == std::string_view::npos) break;
    inside.remove_prefix(end + 1);
    if (inside.empty()) return false;  // a trailing slash
  }
  return true;
}

}  // namespace

Result<TreeRemoval::Removed> TreeRemoval::removeItem(std::string_view path) {
  if (!isRemovablePath(path)) return PosixError::make(EINVAL, path);
  auto parent = TreePath::openParent(path);
  if (!parent) return parent.error();
  const int folder = parent->folder.descriptor.get();
  const std::string& name = parent->name;

  struct stat info {};
  if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return PosixError::make(errno, path);
  Removed removed;
  if (!S_ISDIR(info.st_mode)) {
    if (::unlinkat(folder, name.c_str(), 0) != 0) return PosixError::make(errno, path);
    removed.items = 1;
    if (S_ISREG(info.st_mode)) removed.bytes = static_cast<std::uint64_t>(info.st_size);
    return removed;
  }

  Level item;
  item.folder.reset(::openat(folder, name.c_str(), kFolderFlags));
  item.name = name;
  item.device = info.st_dev;
  item.inode = info.st_ino;
  // A link put in the folder's place after it was looked at is no folder.
  if (!item.folder) return PosixError::make(errno == ENOTDIR ? ELOOP : errno, path);
  if (!sameItem(item.folder.get(), item)) return PosixError::make(EAGAIN, path);

  FolderEmptier emptier(std::move(item));
  const int error = emptier.run();
  removed = emptier.removed;
  if (error != 0) return PosixError::make(error, path);
  if (::unlinkat(folder, name.c_str(), AT_REMOVEDIR) != 0) return PosixError::make(errno, path);
  ++removed.items;
  return removed;
}

Result<void> TreeRemoval::removeEmptyFolder(std::string_view path) {
  auto parent = TreePath::openParent(path);
  if (!parent) return parent.error();
  if (::unlinkat(parent->folder.descriptor.get(), parent->name.c_str(), AT_REMOVEDIR) != 0)
    return PosixError::make(errno, path);
  return {};
}

}  // namespace vozi::platform

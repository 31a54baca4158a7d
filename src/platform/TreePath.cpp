#include "platform/TreePath.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <limits>

#include "platform/CheckedOpen.h"
#include "platform/HostRoot.h"
#include "platform/PathComponents.h"
#include "platform/PosixError.h"

namespace vozi::platform {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The links of the layout: name under the host root -> the text they hold.
constexpr std::string_view kLayoutLinks[][2] = {
    {"tmp", "private/tmp"},
    {"var", "private/var"},
    {"etc", "private/etc"},
};
constexpr const char* kLayoutLinkFolder = "private";

std::atomic<bool> openat2Allowed{true};
std::atomic<bool> openat2Missing{false};

// A path taken apart: where it starts (the host root, or "/" for a path
// outside it) and its components, which view the caller's text.
struct Split {
  std::string base;
  std::string_view text;  // the path as given, for errors
  std::vector<std::string_view> components;

  // The host path up to and including component `count - 1`.
  std::string prefix(std::size_t count) const {
    if (count == 0) return base;
    const std::string_view last = components[count - 1];
    return std::string(text.substr(0, static_cast<std::size_t>(last.data() + last.size() - text.data())));
  }
};

Result<Split> split(std::string_view path) {
  if (path.empty()) return PosixError::make(ENOENT, path);
  if (path.front() != '/') return PosixError::make(EINVAL, path);
  Split result;
  result.text = PathComponents::withoutTrailingSlashes(path);
  std::string_view rest = result.text;
  const std::string root = HostRoot::root();
  if (!root.empty() && rest.substr(0, root.size()) == root &&
      (rest.size() == root.size() || rest[root.size()] == '/')) {
    result.base = root;
    rest.remove_prefix(root.size());
  } else {
    result.base = "/";
  }
  while (!rest.empty() && !(rest.size() == 1 && rest.front() == '/')) {
    rest.remove_prefix(1);  // the slash
    const std::size_t end = rest.find('/');
    const std::string_view component = rest.substr(0, end);
    if (component.empty() || component == "." || component == "..") return PosixError::make(EINVAL, path);
    result.components.push_back(component);
    rest.remove_prefix(component.size());
  }
  return result;
}

// The text a layout link must hold, none for a name that is no layout link.
std::string_view layoutLinkText(std::string_view name) {
  for (const auto& link : kLayoutLinks)
    if (link[0] == name) return link[1];
  return {};
}

// 0 when `name` inside the host root's folder is one of the layout's links
// as it should be; else ELOOP for a link that is not, ENOTDIR/ENOENT when
// there is no link.
int checkLayoutLink(int root, uid_t rootOwner, std::string_view name) {
  const std::string_view expected = layoutLinkText(name);
  const std::string linkName(name);
  struct stat info {};
  if (::fstatat(root, linkName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  if (!S_ISLNK(info.st_mode)) return ENOTDIR;
  if (expected.empty()) return ELOOP;
  if (info.st_uid != 0 && info.st_uid != rootOwner) return ELOOP;
  char text[64];
  const ssize_t length = ::readlinkat(root, linkName.c_str(), text, sizeof text);
  if (length < 0 || std::string_view(text, static_cast<std::size_t>(length)) != expected) return ELOOP;
  return 0;
}

// Opens the layout link's destination itself, without following anything.
int openLayoutDestination(int root, std::string_view name) {
  const int privateFolder = ::openat(root, kLayoutLinkFolder, kFolderFlags);
  if (privateFolder < 0) return -1;
  const FileDescriptor holder(privateFolder);
  return ::openat(privateFolder, std::string(name).c_str(), kFolderFlags);
}

bool isLink(int folder, const std::string& name) {
  struct stat info {};
  return ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode);
}

Result<TreePath::Folder> openBase(const Split& path) {
  TreePath::Folder folder;
  folder.descriptor.reset(::open(path.base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.descriptor) return PosixError::make(errno, path.base);
  struct stat info {};
  if (::fstat(folder.descriptor.get(), &info) != 0) return PosixError::make(errno, path.base);
  folder.owner = info.st_uid;
  return folder;
}

// Opens component `index` inside `parent`: the layout's links are followed
// when they are the first component, any other link is refused.
Result<FileDescriptor> openComponent(const TreePath::Folder& parent, uid_t rootOwner, const Split& path,
                                     std::size_t index) {
  const std::string name(path.components[index]);
  const int fd = ::openat(parent.descriptor.get(), name.c_str(), kFolderFlags);
  if (fd >= 0) return FileDescriptor(fd);
  int failure = errno;
  if (failure == ELOOP || failure == ENOTDIR) {
    // O_NOFOLLOW | O_DIRECTORY on a link gives one or the other.
    if (index == 0) {
      const int check = checkLayoutLink(parent.descriptor.get(), rootOwner, name);
      if (check == 0) {
        const int destination = openLayoutDestination(parent.descriptor.get(), name);
        if (destination >= 0) return FileDescriptor(destination);
        failure = errno;
      } else {
        failure = check == ENOENT ? failure : check;
      }
    } else if (isLink(parent.descriptor.get(), name)) {
      failure = ELOOP;
    }
  }
  return PosixError::make(failure, path.prefix(index + 1));
}

Result<TreePath::Folder> openEachComponent(const Split& path, std::size_t count, TreePath::Owners owners) {
  auto folder = openBase(path);
  if (!folder) return folder.error();
  const uid_t rootOwner = folder->owner;
  if (owners == TreePath::Owners::report) folder->owners.push_back(rootOwner);
  for (std::size_t index = 0; index < count; ++index) {
    auto child = openComponent(*folder, rootOwner, path, index);
    if (!child) return child.error();
    folder->descriptor = std::move(*child);
    if (owners == TreePath::Owners::report || index + 1 == count) {
      struct stat info {};
      if (::fstat(folder->descriptor.get(), &info) != 0) return PosixError::make(errno, path.prefix(index + 1));
      folder->owner = info.st_uid;
      if (owners == TreePath::Owners::report) folder->owners.push_back(info.st_uid);
    }
  }
  return folder;
}

// The first component by hand (it may be a layout link), the rest in one
// openat2 call that refuses every link. None when openat2 cannot answer;
// the caller then goes component by component, which also names the
// failing place precisely.
std::optional<TreePath::Folder> openWithOpenat2(const Split& path, std::size_t count) {
  auto folder = openBase(path);
  if (!folder) return std::nullopt;
  auto first = openComponent(*folder, folder->owner, path, 0);
  if (!first) return std::nullopt;
  const std::string_view from = path.components[1];
  const std::string_view to = path.components[count - 1];
  const std::string rest(from.data(), static_cast<std::size_t>(to.data() + to.size() - from.data()));
  open_how how{};
  how.flags = static_cast<std::uint64_t>(kFolderFlags);
  how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_BENEATH;
  const long fd = ::syscall(SYS_openat2, first->get(), rest.c_str(), &how, sizeof how);
  if (fd < 0) {
    if (errno == ENOSYS) openat2Missing = true;
    return std::nullopt;
  }
  folder->descriptor.reset(static_cast<int>(fd));
  struct stat info {};
  if (::fstat(folder->descriptor.get(), &info) != 0) return std::nullopt;
  folder->owner = info.st_uid;
  return std::move(*folder);
}

Result<TreePath::Folder> openComponents(const Split& path, std::size_t count, TreePath::Owners owners) {
  if (count >= 2 && owners == TreePath::Owners::skip && TreePath::usesOpenat2()) {
    if (auto folder = openWithOpenat2(path, count)) return std::move(*folder);
  }
  return openEachComponent(path, count, owners);
}

}  // namespace

Result<TreePath::Folder> TreePath::openFolder(std::string_view path, Owners owners) {
  auto parts = split(path);
  if (!parts) return parts.error();
  return openComponents(*parts, parts->components.size(), owners);
}

Result<TreePath::Parent> TreePath::openParent(std::string_view path, Owners owners) {
  auto parts = split(path);
  if (!parts) return parts.error();
  if (parts->components.empty()) return PosixError::make(ENOENT, path);
  auto folder = openComponents(*parts, parts->components.size() - 1, owners);
  if (!folder) return folder.error();
  return Parent{std::move(*folder), std::string(parts->components.back())};
}

Result<TreePath::Item> TreePath::openItem(std::string_view path) {
  auto parts = split(path);
  if (!parts) return parts.error();
  Item item;
  if (parts->components.empty()) {
    auto root = openComponents(*parts, 0, Owners::skip);
    if (!root) return root.error();
    item.folder = std::move(root->descriptor);
    return item;
  }
  auto parent = openComponents(*parts, parts->components.size() - 1, Owners::skip);
  if (!parent) return parent.error();
  item.parent = std::move(*parent);
  item.name = std::string(parts->components.back());
  const int fd = ::openat(item.parent.descriptor.get(), item.name.c_str(), kFolderFlags);
  if (fd >= 0) {
    item.folder.reset(fd);
    return item;
  }
  const int failure = errno;
  struct stat info {};
  if ((failure == ELOOP || failure == ENOTDIR) &&
      ::fstatat(item.parent.descriptor.get(), item.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
    return item;  // a file, a link or anything else but a folder
  return PosixError::make(failure == ELOOP || failure == ENOTDIR ? errno : failure, parts->text);
}

Result<TreePath::File> TreePath::openRegularFile(int folder, std::string_view name, std::uint64_t maxSize,
                                                 std::string_view path) {
  auto opened = CheckedOpen::existingIn(folder, std::string(name), {}, std::string(path));
  if (!opened) return opened.error();
  File file;
  file.descriptor = std::move(*opened);
  struct stat info {};
  if (::fstat(file.descriptor.get(), &info) != 0) return PosixError::make(errno, path);
  file.size = static_cast<std::uint64_t>(info.st_size);
  if (file.size > maxSize) return PosixError::make(EFBIG, path);
  return file;
}

Result<TreePath::File> TreePath::openRegularFileBelow(int folder, std::string_view relativePath) {
  const std::string relative(relativePath);
  if (relative.empty() || relative.front() == '/') return PosixError::make(EINVAL, relative);
  struct open_how how {};
  how.flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_NO_XDEV;
  const long fd = ::syscall(SYS_openat2, folder, relative.c_str(), &how, sizeof how);
  if (fd < 0 && errno == ENOSYS) {
    // No single-step call: the folders one by one, then the file.
    const auto slash = relative.rfind('/');
    if (slash == std::string::npos) return openRegularFile(folder, relative, std::numeric_limits<std::uint64_t>::max(), relative);
    FileDescriptor current;
    int at = folder;
    std::size_t start = 0;
    while (start < slash) {
      const std::size_t end = relative.find('/', start);
      const std::string name = relative.substr(start, end - start);
      if (name.empty() || name == "." || name == "..") return PosixError::make(EINVAL, relative);
      const int next = ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (next < 0) return PosixError::make(errno, relative);
      current = FileDescriptor(next);
      at = next;
      start = end + 1;
    }
    return openRegularFile(at, relative.substr(slash + 1), std::numeric_limits<std::uint64_t>::max(), relative);
  }
  if (fd < 0) return PosixError::make(errno, relative);
  File file;
  file.descriptor = FileDescriptor(static_cast<int>(fd));
  struct stat info {};
  if (::fstat(file.descriptor.get(), &info) != 0) return PosixError::make(errno, relative);
  if (S_ISDIR(info.st_mode)) return PosixError::make(EISDIR, relative);
  if (!S_ISREG(info.st_mode)) return PosixError::make(EINVAL, relative);
  const int flags = ::fcntl(file.descriptor.get(), F_GETFL);
  if (flags >= 0) ::fcntl(file.descriptor.get(), F_SETFL, flags & ~O_NONBLOCK);
  file.size = static_cast<std::uint64_t>(info.st_size);
  return file;
}

Result<FileDescriptor> TreePath::openFolderBelow(int folder, std::string_view relativePath) {
  const std::string relative(relativePath.empty() ? std::string_view(".") : relativePath);
  if (relative.front() == '/') return PosixError::make(EINVAL, relative);
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  if (usesOpenat2()) {
    struct open_how how {};
    how.flags = kFlags;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_NO_XDEV;
    const long fd = ::syscall(SYS_openat2, folder, relative.c_str(), &how, sizeof how);
    if (fd >= 0) return FileDescriptor(static_cast<int>(fd));
    if (errno != ENOSYS) return PosixError::make(errno, relative);
  }
  // No single-step call: the folders one by one.
  FileDescriptor current;
  int at = folder;
  std::size_t start = 0;
  while (start <= relative.size()) {
    const std::size_t end = std::min(relative.find('/', start), relative.size());
    const std::string name = relative.substr(start, end - start);
    if (name.empty() || name == "..") return PosixError::make(EINVAL, relative);
    const int next = ::openat(at, name.c_str(), kFlags);
    if (next < 0) return PosixError::make(errno, relative);
    current = FileDescriptor(next);
    at = next;
    start = end + 1;
  }
  return current;
}

Result<TreePath::File> TreePath::openRegularFileInTree(std::string_view path) {
  auto parts = split(path);
  if (!parts) return parts.error();
  if (parts->components.empty()) return PosixError::make(EISDIR, path);
  const int base = ::open(parts->base.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (base >= 0) {
    const FileDescriptor holder(base);
    std::string relative;
    for (const std::string_view component : parts->components) {
      if (!relative.empty()) relative += '/';
      relative += component;
    }
    auto file = openRegularFileBelow(base, relative);
    const long code = file ? 0 : file.error().code;
    // A link on the way (perhaps one of the layout's) or a mount: the
    // component-by-component route decides.
    if (file || (code != ELOOP && code != EXDEV && code != ENOSYS)) return file;
  }
  auto parent = openParent(path);
  if (!parent) return parent.error();
  return openRegularFile(parent->folder.descriptor.get(), parent->name, std::numeric_limits<std::uint64_t>::max(), path);
}

Result<std::string> TreePath::readRegularFile(int folder, std::string_view name, std::uint64_t maxSize,
                                              std::string_view path) {
  auto file = openRegularFile(folder, name, maxSize, path);
  if (!file) return file.error();
  auto bytes = file->descriptor.readAll(maxSize, file->size);
  if (!bytes) return PosixError::make(static_cast<int>(bytes.error().code), path);
  return bytes;
}

Result<std::string> TreePath::layoutLinkDestination(std::string_view treePath) {
  const std::string_view name = PathComponents::lastComponent(treePath);
  if (layoutLinkText(name).empty() || PathComponents::withoutTrailingSlashes(treePath) != "/" + std::string(name))
    return PosixError::make(EINVAL, treePath);
  const std::string hostPath = HostRoot::resolve(PathComponents::withoutTrailingSlashes(treePath));
  auto parts = split(hostPath);
  if (!parts) return parts.error();
  auto root = openBase(*parts);
  if (!root) return root.error();
  if (const int failure = checkLayoutLink(root->descriptor.get(), root->owner, name))
    return PosixError::make(failure, hostPath);
  return "/" + std::string(layoutLinkText(name));
}

void TreePath::setUsesOpenat2(bool uses) { openat2Allowed = uses; }

bool TreePath::usesOpenat2() { return openat2Allowed && !openat2Missing; }

}  // namespace vozi::platform

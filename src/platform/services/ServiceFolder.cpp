#include "platform/services/ServiceFolder.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <deque>

#include "platform/HostRoot.h"
#include "platform/PosixError.h"

namespace vozi::platform {

namespace {

// The layout links that may stand on the way, by tree path, with the tree
// path each must point at.
struct LayoutLink {
  const char* treePath;
  const char* target;
};
constexpr LayoutLink kLayoutLinks[] = {{"/var", "/private/var"}, {"/var/run", "/run"}};

std::deque<std::string> componentsOf(std::string_view treePath) {
  std::deque<std::string> out;
  std::size_t start = 0;
  while (start <= treePath.size()) {
    const auto end = std::min(treePath.find('/', start), treePath.size());
    const auto part = treePath.substr(start, end - start);
    if (part == "..") {
      if (!out.empty()) out.pop_back();
    } else if (!part.empty() && part != ".") {
      out.emplace_back(part);
    }
    start = end + 1;
  }
  return out;
}

std::string joined(const std::deque<std::string>& components) {
  std::string out;
  for (const auto& c : components) out += "/" + c;
  return out.empty() ? "/" : out;
}

Error folderError(int code, const std::string& treePath, const std::string& why) {
  Error error = PosixError::make(code, HostRoot::resolve(treePath));
  error.userInfo["NSLocalizedDescription"] = Value("the folder " + HostRoot::resolve(treePath) + " " + why);
  return error;
}

// The tree path a layout link at `treePath` points at, or "" when the link
// is not one of the layout's.
std::string layoutLinkTarget(int parent, const std::string& name, const std::string& treePath) {
  struct stat info {};
  if (::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(info.st_mode)) return {};
  if (info.st_uid != 0 && info.st_uid != ::geteuid()) return {};
  char text[256];
  const ssize_t length = ::readlinkat(parent, name.c_str(), text, sizeof text);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof text) return {};
  std::string target(text, static_cast<std::size_t>(length));
  if (target.front() != '/') target = treePath.substr(0, treePath.rfind('/')) + "/" + target;
  target = joined(componentsOf(target));
  for (const auto& link : kLayoutLinks)
    if (treePath == link.treePath && target == link.target) return target;
  return {};
}

}  // namespace

Result<std::unique_ptr<FileDescriptor>> ServiceFolder::open(bool create, std::string_view folderPath) {
  const std::string root = HostRoot::root().empty() ? "/" : HostRoot::root();
  auto folder = std::make_unique<FileDescriptor>(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!*folder) return PosixError::make(errno, root);
  std::deque<std::string> left = componentsOf(folderPath);
  std::deque<std::string> done;
  int linksFollowed = 0;
  while (!left.empty()) {
    const std::string name = left.front();
    left.pop_front();
    const std::string treePath = joined(done) + (done.empty() ? "" : "/") + name;
    int fd = ::openat(folder->get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && create) {
      if (::mkdirat(folder->get(), name.c_str(), 0755) != 0 && errno != EEXIST)
        return folderError(errno, treePath, "cannot be made");
      fd = ::openat(folder->get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0 && (errno == ELOOP || errno == ENOTDIR) && !left.empty() && linksFollowed < 4) {
      const std::string target = layoutLinkTarget(folder->get(), name, treePath);
      if (!target.empty()) {
        // Start again from the root along the link's target.
        ++linksFollowed;
        auto rest = componentsOf(target);
        rest.insert(rest.end(), left.begin(), left.end());
        left = std::move(rest);
        done.clear();
        folder->reset(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!*folder) return PosixError::make(errno, root);
        continue;
      }
      errno = ELOOP;
    }
    if (fd < 0) return folderError(errno, treePath, errno == ELOOP ? "is a link" : "cannot be opened");
    folder->reset(fd);
    done.push_back(name);
  }
  if (create) {
    struct stat info {};
    if (::fstat(folder->get(), &info) != 0) return folderError(errno, std::string(folderPath), "cannot be examined");
    if (info.st_uid != ::geteuid())
      return folderError(EPERM, std::string(folderPath), "is owned by uid " + std::to_string(info.st_uid) + ", not by this process");
    if ((info.st_mode & 07777) != 0755 && ::fchmod(folder->get(), 0755) != 0)
      return folderError(errno, std::string(folderPath), "cannot be given mode 0755");
  }
  return folder;
}

Result<std::string> ServiceFolder::socketPath(const FileDescriptor& folder, std::string_view name) {
  std::string path = "/proc/self/fd/" + std::to_string(folder.get()) + "/" + std::string(name);
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos || path.size() >= sizeof(sockaddr_un::sun_path))
    return PosixError::make(EINVAL, std::string(name));
  return path;
}

Result<void> ServiceFolder::removeStaleSocket(const FileDescriptor& folder, std::string_view name) {
  const std::string entry(name);
  struct stat info {};
  if (::fstatat(folder.get(), entry.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return {};
    return PosixError::make(errno, entry);
  }
  if (!S_ISSOCK(info.st_mode)) {
    Error error = PosixError::make(EEXIST, entry);
    error.userInfo["NSLocalizedDescription"] = Value(entry + " is not a socket and is left in place");
    return error;
  }
  if (::unlinkat(folder.get(), entry.c_str(), 0) != 0 && errno != ENOENT) return PosixError::make(errno, entry);
  return {};
}

Result<void> ServiceFolder::setSocketMode(const FileDescriptor& folder, std::string_view name, unsigned mode) {
  const std::string entry(name);
  struct stat info {};
  if (::fstatat(folder.get(), entry.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return PosixError::make(errno, entry);
  if (!S_ISSOCK(info.st_mode)) return PosixError::make(EINVAL, entry);
  // The folder is this process's own and not writable by others, so the
  // entry examined is the one changed.
  if (::fchmodat(folder.get(), entry.c_str(), static_cast<mode_t>(mode), 0) != 0) return PosixError::make(errno, entry);
  return {};
}

}  // namespace vozi::platform

#include "platform/DirectoryWalker.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/FilePackage.h"
#include "platform/PathComponents.h"
#include "platform/PosixError.h"
#include "platform/TreePath.h"

namespace vozi::platform {

namespace {

struct Listed {
  std::uint64_t prefix;  // the name's first 8 bytes, big-endian, zero-padded: orders most pairs alone
  std::uint32_t offset;  // of the name in Folder::names
  std::uint32_t length;
  unsigned char type;    // d_type
};

std::uint64_t prefixOf(const char* name, std::size_t length) {
  std::uint64_t prefix = 0;
  for (std::size_t i = 0; i < 8; ++i)
    prefix = prefix << 8 | (i < length ? static_cast<unsigned char>(name[i]) : 0u);
  return prefix;
}

// One open folder on the walk's stack: its stream (which owns the
// descriptor the children are opened and examined through), its names
// read in one go, and the position reached.
struct Folder {
  DIR* stream = nullptr;
  std::string path;
  std::string names;
  std::vector<Listed> entries;
  std::vector<std::optional<ResourceValues>> values;  // read ahead, by entry; empty when not
  std::size_t next = 0;
  DirectoryWalker::Entry::FolderAccess access;

  Folder() = default;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  ~Folder() {
    if (stream) ::closedir(stream);
  }
  int descriptor() const { return ::dirfd(stream); }
  std::string_view name(const Listed& entry) const {
    return std::string_view(names.data() + entry.offset, entry.length);
  }
};

// Reads every entry of the open folder but "." and "..", hidden ones left
// out when asked, sorted by name. False with errno set when reading fails.
bool readFolder(Folder& folder, bool skipHidden) {
  for (;;) {
    errno = 0;
    const dirent* item = ::readdir(folder.stream);
    if (!item) return errno == 0;
    const char* name = item->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    if (skipHidden && name[0] == '.') continue;
    const std::size_t length = std::strlen(name);
    folder.entries.push_back({prefixOf(name, length), static_cast<std::uint32_t>(folder.names.size()),
                              static_cast<std::uint32_t>(length), item->d_type});
    folder.names.append(name, length);
  }
}

void sortFolder(Folder& folder) {
  // Names hold no NUL byte, so the zero-padded prefixes order as the names do.
  std::sort(folder.entries.begin(), folder.entries.end(), [&folder](const Listed& a, const Listed& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    return folder.name(a) < folder.name(b);
  });
}

DirectoryWalker::FileType typeOf(unsigned char dtype, int parent, const std::string& name) {
  switch (dtype) {
    case DT_REG:
      return DirectoryWalker::FileType::regular;
    case DT_DIR:
      return DirectoryWalker::FileType::directory;
    case DT_LNK:
      return DirectoryWalker::FileType::symbolicLink;
    case DT_UNKNOWN:
      break;
    default:
      return DirectoryWalker::FileType::other;
  }
  // Some file systems do not fill in the type: ask, without following.
  struct stat info {};
  if (::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return DirectoryWalker::FileType::other;
  if (S_ISREG(info.st_mode)) return DirectoryWalker::FileType::regular;
  if (S_ISDIR(info.st_mode)) return DirectoryWalker::FileType::directory;
  if (S_ISLNK(info.st_mode)) return DirectoryWalker::FileType::symbolicLink;
  return DirectoryWalker::FileType::other;
}

// Opens a folder without following a final link; takes ownership of fd.
std::unique_ptr<Folder> openFolder(int fd, std::string path, bool skipHidden, int& failure) {
  auto folder = std::make_unique<Folder>();
  folder->stream = ::fdopendir(fd);
  if (!folder->stream) {
    failure = errno;
    ::close(fd);
    return nullptr;
  }
  folder->path = std::move(path);
  if (!readFolder(*folder, skipHidden)) {
    failure = errno;
    return nullptr;
  }
  sortFolder(*folder);
  return folder;
}

// Below this many entries a folder is read on the walk's own thread.
constexpr std::size_t kParallelReadEntries = 512;
constexpr unsigned kMaxReaders = 8;

// Reads `keys` of the folder's entries that are not folders into
// folder.values, spread over threads for a large folder.
void readAhead(Folder& folder, ResourceKeys keys) {
  folder.values.resize(folder.entries.size());
  const int descriptor = folder.descriptor();
  const auto readRange = [&folder, keys, descriptor](std::size_t begin, std::size_t end) {
    std::string name;
    for (std::size_t i = begin; i < end; ++i) {
      if (folder.entries[i].type == DT_DIR) continue;
      name.assign(folder.name(folder.entries[i]));
      folder.values[i] = ResourceValues::read(descriptor, name.c_str(), keys);
    }
  };
  const std::size_t count = folder.entries.size();
  const unsigned readers =
      count < kParallelReadEntries ? 1 : std::clamp(std::thread::hardware_concurrency(), 1u, kMaxReaders);
  if (readers == 1) return readRange(0, count);
  std::vector<std::thread> threads;
  const std::size_t share = (count + readers - 1) / readers;
  std::size_t handedOut = std::min(count, share);  // the ranges up to here have a reader
  for (unsigned r = 1; r < readers && handedOut < count; ++r) {
    const std::size_t end = std::min(count, handedOut + share);
    try {
      threads.emplace_back(readRange, handedOut, end);
    } catch (const std::system_error&) {
      break;  // no thread to be had (a limit reached): this one reads the rest
    }
    handedOut = end;
  }
  readRange(0, std::min(count, share));
  readRange(handedOut, count);
  for (auto& thread : threads) thread.join();
}

}  // namespace

bool DirectoryWalker::Entry::isPackage() const {
  return type_ == FileType::directory && FilePackage::hasPackageExtension(name_);
}

std::optional<ResourceValues> DirectoryWalker::Entry::resourceValues(ResourceKeys keys, Error* error) const {
  // Read ahead: the values, when those keys were read; a failed read is
  // made again below for its error.
  if (prefetched_ && *prefetched_ && (prefetchedKeys_ & keys) == keys) return *prefetched_;
  // The name is the tail of path_, which ends with a NUL.
  return ResourceValues::read(directoryDescriptor_, path_.c_str() + (path_.size() - name_.size()), keys, error);
}

bool DirectoryWalker::Entry::isDeletable() const {
  FolderAccess& access = *folderAccess_;
  if (!access.known) {
    struct stat folder {};
    if (::fstat(directoryDescriptor_, &folder) == 0) {
      // The effective ids decide, as they do for the unlink itself; a
      // read-only file system answers EROFS even to root.
      access.writable = ::faccessat(directoryDescriptor_, ".", W_OK | X_OK, AT_EACCESS) == 0;
      access.sticky = (folder.st_mode & S_ISVTX) != 0;
      access.owner = folder.st_uid;
    }
    access.known = true;
  }
  if (!access.writable) return false;
  if (!access.sticky) return true;
  const uid_t user = ::geteuid();
  if (user == 0 || access.owner == user) return true;
  struct stat item {};
  const char* name = path_.c_str() + (path_.size() - name_.size());
  return ::fstatat(directoryDescriptor_, name, &item, AT_SYMLINK_NOFOLLOW) == 0 && item.st_uid == user;
}

bool DirectoryWalker::walk(const std::string& root, DirectoryEnumerationOptions options, const Visitor& visitor,
                           const ErrorHandler& errorHandler, Error* error) {
  return walkReading(root, options, ResourceKeys::None, visitor, errorHandler, error);
}

bool DirectoryWalker::walkReading(const std::string& root, DirectoryEnumerationOptions options, ResourceKeys keys,
                                  const Visitor& visitor, const ErrorHandler& errorHandler, Error* error) {
  // A trailing slash would make the system follow a final link.
  const std::string rootPath(PathComponents::withoutTrailingSlashes(root));
  auto opened = TreePath::openFolder(rootPath);
  if (!opened) {
    if (error) *error = opened.error();
    if (errorHandler) errorHandler(rootPath, opened.error());
    return false;
  }
  return walkFolder(std::move(opened->descriptor), rootPath, options, keys, visitor, errorHandler, error);
}

bool DirectoryWalker::walk(FileDescriptor folder, const std::string& path, DirectoryEnumerationOptions options,
                           const Visitor& visitor, const ErrorHandler& errorHandler, Error* error) {
  return walkFolder(std::move(folder), path, options, ResourceKeys::None, visitor, errorHandler, error);
}

bool DirectoryWalker::walkFolder(FileDescriptor folder, const std::string& path, DirectoryEnumerationOptions options,
                                 ResourceKeys prefetch, const Visitor& visitor, const ErrorHandler& errorHandler,
                                 Error* error) {
  const bool skipHidden = contains(options, DirectoryEnumerationOptions::SkipsHiddenFiles);
  const bool skipSubfolders = contains(options, DirectoryEnumerationOptions::SkipsSubdirectoryDescendants);
  const bool skipPackages = contains(options, DirectoryEnumerationOptions::SkipsPackageDescendants);
  const std::string rootPath(PathComponents::withoutTrailingSlashes(path));

  auto fail = [&](const std::string& failedPath, int code) {
    Error failure = PosixError::make(code, failedPath);
    return !errorHandler || errorHandler(failedPath, failure);
  };

  int failure = 0;
  std::unique_ptr<Folder> rootFolder;
  if (!folder)
    failure = EBADF;
  else
    rootFolder = openFolder(folder.release(), rootPath, skipHidden, failure);
  if (!rootFolder) {
    PosixError::set(error, failure, rootPath);
    fail(rootPath, failure);
    return false;
  }

  if (prefetch != ResourceKeys::None) readAhead(*rootFolder, prefetch);
  const std::size_t rootLength = rootPath == "/" ? 1 : rootPath.size() + 1;
  std::vector<std::unique_ptr<Folder>> stack;
  stack.push_back(std::move(rootFolder));
  Entry entry;
  entry.rootLength_ = rootLength;
  entry.prefetchedKeys_ = prefetch;
  std::string childName;

  while (!stack.empty()) {
    Folder& folder = *stack.back();
    if (folder.next >= folder.entries.size()) {
      stack.pop_back();
      continue;
    }
    const Listed& listed = folder.entries[folder.next++];
    const std::string_view name = folder.name(listed);

    entry.path_.assign(folder.path);
    if (folder.path != "/") entry.path_ += '/';
    entry.path_.append(name);
    entry.name_ = std::string_view(entry.path_).substr(entry.path_.size() - name.size());
    entry.directoryDescriptor_ = folder.descriptor();
    entry.folderAccess_ = &folder.access;
    entry.prefetched_ = folder.values.empty() ? nullptr : &folder.values[folder.next - 1];
    entry.depth_ = stack.size();
    childName.assign(name);
    entry.type_ = typeOf(listed.type, folder.descriptor(), childName);

    const WalkAction action = visitor ? visitor(entry) : WalkAction::Continue;
    if (action == WalkAction::Stop) return true;
    if (action == WalkAction::SkipSiblings) {
      stack.pop_back();
      continue;
    }
    if (action == WalkAction::SkipDescendants || entry.type_ != FileType::directory || skipSubfolders) continue;
    if (skipPackages && FilePackage::hasPackageExtension(name)) continue;

    const int fd = ::openat(folder.descriptor(), childName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    std::unique_ptr<Folder> child;
    if (fd < 0)
      failure = errno;
    else
      child = openFolder(fd, entry.path_, skipHidden, failure);
    if (!child) {
      if (!fail(entry.path_, failure)) return true;
      continue;
    }
    if (prefetch != ResourceKeys::None) readAhead(*child, prefetch);
    stack.push_back(std::move(child));
  }
  return true;
}

}  // namespace vozi::platform

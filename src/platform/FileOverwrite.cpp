#include "platform/FileOverwrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/CheckedOpen.h"
#include "platform/PosixError.h"
#include "platform/TreePath.h"

namespace vozi::platform {

Result<FileOverwrite::Opened> FileOverwrite::open(const std::string& path, std::optional<uid_t> owner) {
  auto parent = TreePath::openParent(path);
  if (!parent) return parent.error();
  auto file = CheckedOpen::existingIn(parent->folder.descriptor.get(), parent->name,
                                      {.kind = CheckedOpen::Kind::regularFile,
                                       .access = CheckedOpen::Access::write,
                                       .owner = owner,
                                       .linkCount = 1},
                                      path);
  if (!file) return file.error();
  struct stat info {};
  if (::fstat(file->get(), &info) != 0) return PosixError::make(errno, path);
  Opened opened;
  opened.descriptor = std::move(*file);
  opened.size = static_cast<std::uint64_t>(info.st_size);
  opened.device = info.st_dev;
  opened.inode = info.st_ino;
  return opened;
}

Result<void> FileOverwrite::writeAt(const FileDescriptor& file, const void* bytes, std::size_t size,
                                    std::uint64_t offset) {
  const auto* cursor = static_cast<const unsigned char*>(bytes);
  while (size > 0) {
    const ssize_t wrote = ::pwrite(file.get(), cursor, size, static_cast<off_t>(offset));
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return PosixError::make(errno);
    }
    if (wrote == 0) return PosixError::make(EIO);
    cursor += wrote;
    size -= static_cast<std::size_t>(wrote);
    offset += static_cast<std::uint64_t>(wrote);
  }
  return {};
}

Result<void> FileOverwrite::sync(const FileDescriptor& file) {
  if (::fdatasync(file.get()) != 0) return PosixError::make(errno);
  return {};
}

Result<void> FileOverwrite::removeIfSame(const std::string& path, dev_t device, ino_t inode) {
  auto parent = TreePath::openParent(path);
  if (!parent) return parent.error();
  const int folder = parent->folder.descriptor.get();
  struct stat info {};
  if (::fstatat(folder, parent->name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return PosixError::make(errno, path);
  if (info.st_dev != device || info.st_ino != inode) return PosixError::make(ESTALE, path);
  if (::unlinkat(folder, parent->name.c_str(), 0) != 0) return PosixError::make(errno, path);
  return {};
}

}  // namespace vozi::platform

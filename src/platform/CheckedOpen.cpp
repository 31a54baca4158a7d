#include "platform/CheckedOpen.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/PathComponents.h"
#include "platform/PosixError.h"

namespace vozi::platform {

namespace {

// A failure of a call on the opened descriptor, told with the path.
Error atPath(const Error& error, const std::string& path) {
  return PosixError::make(static_cast<int>(error.code), path);
}

int accessFlags(CheckedOpen::Access access) {
  switch (access) {
    case CheckedOpen::Access::read:
      return O_RDONLY;
    case CheckedOpen::Access::write:
      return O_WRONLY;
    case CheckedOpen::Access::readWrite:
      return O_RDWR;
  }
  return O_RDONLY;
}

// 0 when `info` is of the kind asked for, else the refusal's errno.
int kindError(const struct stat& info, CheckedOpen::Kind kind) {
  if (S_ISLNK(info.st_mode)) return ELOOP;
  if (kind == CheckedOpen::Kind::folder) return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
  if (S_ISREG(info.st_mode)) return 0;
  return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
}

Result<FileDescriptor> openChecked(int folder, const std::string& name, const std::string& shownPath,
                                   const CheckedOpen::Expect& expect) {
  // Look first, so that a special file is never opened at all.
  struct stat before {};
  if (::fstatat(folder, name.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0) return PosixError::make(errno, shownPath);
  if (const int error = kindError(before, expect.kind)) return PosixError::make(error, shownPath);

  const bool isFolder = expect.kind == CheckedOpen::Kind::folder;
  const int flags = (isFolder ? O_RDONLY | O_DIRECTORY : accessFlags(expect.access)) | O_NOFOLLOW | O_CLOEXEC |
                    O_NOCTTY | O_NONBLOCK;
  FileDescriptor opened(::openat(folder, name.c_str(), flags));
  if (!opened) return PosixError::make(errno, shownPath);

  struct stat after {};
  if (::fstat(opened.get(), &after) != 0) return PosixError::make(errno, shownPath);
  if (kindError(after, expect.kind) != 0 || after.st_dev != before.st_dev || after.st_ino != before.st_ino)
    return PosixError::make(EAGAIN, shownPath);
  if (expect.owner && after.st_uid != *expect.owner) return PosixError::make(EPERM, shownPath);
  if (expect.linkCount && after.st_nlink != *expect.linkCount) return PosixError::make(EMLINK, shownPath);
  if (auto blocking = opened.setBlocking(); !blocking) return atPath(blocking.error(), shownPath);
  return opened;
}

}  // namespace

Result<FileDescriptor> CheckedOpen::existing(const std::string& path, const Expect& expect) {
  return openChecked(AT_FDCWD, path, path, expect);
}

Result<FileDescriptor> CheckedOpen::existingIn(const FileDescriptor& folder, const std::string& name,
                                               const Expect& expect) {
  return existingIn(folder.get(), name, expect, name);
}

Result<FileDescriptor> CheckedOpen::existingIn(int folder, const std::string& name, const Expect& expect,
                                               const std::string& shownPath) {
  if (!PathComponents::isSingleComponent(name)) return PosixError::make(EINVAL, shownPath);
  return openChecked(folder, name, shownPath, expect);
}

Result<FileDescriptor> CheckedOpen::created(const std::string& path, mode_t mode, Access access) {
  FileDescriptor file(
      ::open(path.c_str(), accessFlags(access) | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode));
  if (!file) return PosixError::make(errno, path);
  if (auto moded = file.setMode(mode); !moded) return atPath(moded.error(), path);
  return file;
}

Result<FileDescriptor> CheckedOpen::existingOrCreated(const std::string& path, mode_t mode, const Expect& expect) {
  // Twice at most: a file made by someone else between the two calls is
  // then opened as an existing one.
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto found = existing(path, {Kind::regularFile, expect.access, expect.owner, expect.linkCount});
    if (found) {
      if (auto moded = found->setMode(mode); !moded) return atPath(moded.error(), path);
      return found;
    }
    if (found.error().code != ENOENT) return found;
    auto made = created(path, mode, expect.access);
    if (made || made.error().code != EEXIST) return made;
  }
  return PosixError::make(EAGAIN, path);
}

Result<FileDescriptor> CheckedOpen::createdFolder(const std::string& path, mode_t mode) {
  if (::mkdir(path.c_str(), mode) != 0) return PosixError::make(errno, path);
  auto folder = existing(path, {.kind = Kind::folder});
  if (!folder) return folder;
  // Widened past the umask through the descriptor, so a link put in the
  // folder's place cannot redirect the change.
  if (auto moded = folder->setMode(mode); !moded) return atPath(moded.error(), path);
  return folder;
}

}  // namespace vozi::platform

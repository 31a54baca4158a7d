#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/CocoaError.h"
#include "platform/FileDescriptor.h"
#include "platform/PosixError.h"

namespace vozi::platform {

namespace {

Error saveError(int error, const std::string& path) {
  CocoaError::Code code = CocoaError::fileWriteUnknown;
  if (error == EACCES || error == EPERM) code = CocoaError::fileWriteNoPermission;
  if (error == ENOSPC || error == EDQUOT) code = CocoaError::fileWriteOutOfSpace;
  return CocoaError::make(code, "The file couldn't be saved: " + PosixError::description(error),
                          {{"NSFilePath", Value(path)}});
}

const AtomicFile::Calls kSystemCalls{
    .makeTemporary = [](char* pathTemplate) { return ::mkostemp(pathTemplate, O_CLOEXEC); },
    .setMode = [](int fd, mode_t mode) { return ::fchmod(fd, mode); },
    .writeAll = &FileDescriptor::writeAll,
    .syncFile = [](int fd) { return ::fsync(fd); },
    .close = [](int fd) { return ::close(fd); },
    .openFolder = [](const char* path) { return ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC); },
    .link = [](const char* existing, const char* newName) { return ::link(existing, newName); },
    .rename = [](const char* from, const char* to) { return ::rename(from, to); },
    .syncFolder = [](int fd) { return ::fsync(fd); },
    .unlink = [](const char* path) { return ::unlink(path); },
};

}  // namespace

const AtomicFile::Calls& AtomicFile::systemCalls() { return kSystemCalls; }

Result<void> AtomicFile::write(const std::string& path, std::string_view bytes, mode_t mode) {
  return write(path, bytes, mode, kSystemCalls);
}

Result<void> AtomicFile::write(const std::string& path, std::string_view bytes, mode_t mode, const Calls& calls) {
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return saveError(EISDIR, path);
  std::string temporary = (slash == std::string::npos ? std::string() : folder) + "." + name + ".XXXXXX";

  const int fd = calls.makeTemporary(temporary.data());
  if (fd < 0) return saveError(errno, path);
  // Every failure from here on takes the temporary file away again.
  auto failed = [&](int error) {
    calls.unlink(temporary.c_str());
    return Result<void>(saveError(error, path));
  };
  int error = 0;
  if (calls.setMode(fd, mode) != 0)
    error = errno;
  else if (const int writing = calls.writeAll(fd, bytes.data(), bytes.size()))
    error = writing;
  else if (calls.syncFile(fd) != 0)
    error = errno;
  // The close is checked too: a delayed write error shows up there.
  if (calls.close(fd) != 0 && error == 0) error = errno;
  if (error != 0) return failed(error);

  const int folderFd = calls.openFolder(folder.c_str());
  if (folderFd < 0) return failed(errno);
  struct FolderCloser {
    const Calls& calls;
    int fd;
    ~FolderCloser() { calls.close(fd); }
  } closer{calls, folderFd};

  // The old file keeps a second name until the new name is on the device,
  // so that it can be put back if flushing the folder fails.
  const std::string kept = temporary + ".old";
  bool keptOld = true;
  if (calls.link(path.c_str(), kept.c_str()) != 0) {
    if (errno != ENOENT) return failed(errno);
    keptOld = false;
  }
  if (calls.rename(temporary.c_str(), path.c_str()) != 0) {
    error = errno;
    if (keptOld) calls.unlink(kept.c_str());
    return failed(error);
  }
  if (calls.syncFolder(folderFd) != 0) {
    error = errno;
    if (keptOld)
      calls.rename(kept.c_str(), path.c_str());
    else
      calls.unlink(path.c_str());
    return saveError(error, path);
  }
  if (keptOld) calls.unlink(kept.c_str());
  return {};
}

}  // namespace vozi::platform

#include "platform/FileDescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/PosixError.h"

namespace vozi::platform {

namespace {

Result<void> outcome(int rc) {
  if (rc != 0) return PosixError::make(errno);
  return {};
}

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

void FileDescriptor::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

int FileDescriptor::release() { return std::exchange(fd_, -1); }

Result<void> FileDescriptor::close() {
  if (fd_ < 0) return PosixError::make(EBADF);
  // Linux frees the number even when close fails, so it is never retried.
  return outcome(::close(release()));
}

Result<FileDescriptor> FileDescriptor::duplicate() const {
  const int copy = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return PosixError::make(errno);
  return FileDescriptor(copy);
}

Result<std::size_t> FileDescriptor::readSome(void* bytes, std::size_t size) const {
  for (;;) {
    const ssize_t got = ::read(fd_, bytes, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return PosixError::make(errno);
  }
}

Result<std::size_t> FileDescriptor::readSomeAt(void* bytes, std::size_t size, std::uint64_t offset) const {
  for (;;) {
    const ssize_t got = ::pread(fd_, bytes, size, static_cast<off_t>(offset));
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return PosixError::make(errno);
  }
}

Result<std::string> FileDescriptor::readAll(std::uint64_t maxSize, std::uint64_t expected) const {
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(std::min(expected, maxSize)));
  char buffer[65536];
  for (;;) {
    auto got = readSome(buffer, sizeof buffer);
    if (!got) return got.error();
    if (*got == 0) return bytes;
    bytes.append(buffer, *got);
    if (bytes.size() > maxSize) return PosixError::make(EFBIG);
  }
}

Result<void> FileDescriptor::write(const void* bytes, std::size_t size) const {
  if (const int error = writeAll(fd_, bytes, size)) return PosixError::make(error);
  return {};
}

Result<std::uint64_t> FileDescriptor::seek(std::int64_t offset, SeekFrom from) const {
  const int whence = from == SeekFrom::start ? SEEK_SET : from == SeekFrom::current ? SEEK_CUR : SEEK_END;
  const off_t at = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (at < 0) return PosixError::make(errno);
  return static_cast<std::uint64_t>(at);
}

Result<void> FileDescriptor::truncate(std::uint64_t size) const {
  return outcome(::ftruncate(fd_, static_cast<off_t>(size)));
}

Result<void> FileDescriptor::sync() const { return outcome(::fsync(fd_)); }

Result<void> FileDescriptor::setMode(mode_t mode) const {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return PosixError::make(errno);
  // Left alone when it has the mode already: changing it is for the owner
  // (or root) only.
  if ((info.st_mode & 07777) == (mode & 07777)) return {};
  return outcome(::fchmod(fd_, mode));
}

Result<void> FileDescriptor::setBlocking() const {
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags < 0) return PosixError::make(errno);
  if ((flags & O_NONBLOCK) == 0) return {};
  return outcome(::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK));
}

int FileDescriptor::writeAll(int fd, const void* bytes, std::size_t size) {
  const auto* next = static_cast<const char*>(bytes);
  while (size > 0) {
    const ssize_t written = ::write(fd, next, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    next += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

}  // namespace vozi::platform

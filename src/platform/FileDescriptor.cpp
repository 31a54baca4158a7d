#include "platform/FileDescriptor.h"

#include <unistd.h>

#include <cerrno>

namespace vozi::platform {

void FileDescriptor::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

int FileDescriptor::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
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

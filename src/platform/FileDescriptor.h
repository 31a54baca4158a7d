#pragma once

#include <cstddef>

namespace vozi::platform {

// Owns one open file descriptor (or none, -1) and closes it when it goes.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { reset(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Closes the descriptor held, if any, and holds `fd` instead.
  void reset(int fd = -1);
  // Gives the descriptor up without closing it.
  int release();

  // Writes all `size` bytes to `fd`, going on after a short write or an
  // interrupted one. 0 when all went out, else the errno of the failure.
  static int writeAll(int fd, const void* bytes, std::size_t size);

 private:
  int fd_ = -1;
};

}  // namespace vozi::platform

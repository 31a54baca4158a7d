#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Result.h"

namespace vozi::platform {

// Owns one open file descriptor (or none, -1) and closes it when it goes.
// Movable, never copied: a moved-from holder holds none. Not synchronised:
// one owner at a time (share it through a shared_ptr to keep the number
// alive while calls on other threads use it).
//
// The member calls report a failure as a PosixError value; on a holder
// without a descriptor they fail with EBADF.
class FileDescriptor {
 public:
  enum class SeekFrom { start, current, end };

  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { reset(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Closes the descriptor held, if any, and holds `fd` instead.
  void reset(int fd = -1);
  // Gives the descriptor up without closing it.
  int release();
  // A second descriptor of the same open file (close-on-exec).
  Result<FileDescriptor> duplicate() const;
  // Closes the descriptor and says whether the close reported a failure
  // (a delayed write error shows up here). The holder holds none after,
  // whatever the outcome.
  Result<void> close();

  // Reads up to `size` bytes, riding out interruptions; 0 at the end.
  Result<std::size_t> readSome(void* bytes, std::size_t size) const;
  // The same at an offset, leaving the file position alone.
  Result<std::size_t> readSomeAt(void* bytes, std::size_t size, std::uint64_t offset) const;
  // Reads from the offset to the end; EFBIG as soon as more than maxSize
  // bytes came (a file can grow after its size was checked). `expected`
  // sizes the buffer up front.
  Result<std::string> readAll(std::uint64_t maxSize, std::uint64_t expected = 0) const;
  // Writes all of `size` bytes (see writeAll).
  Result<void> write(const void* bytes, std::size_t size) const;
  // Moves the file offset; the new offset from the start.
  Result<std::uint64_t> seek(std::int64_t offset, SeekFrom from) const;
  Result<void> truncate(std::uint64_t size) const;
  // Flushes the file's data and metadata (for a folder: its entries) to the
  // storage device.
  Result<void> sync() const;
  // Gives the open file `mode` (permission bits; the umask does not apply);
  // a file with that mode already is left alone.
  Result<void> setMode(mode_t mode) const;
  // Clears O_NONBLOCK, which opening may have needed so that no special
  // file could hold the open up.
  Result<void> setBlocking() const;

  // Writes all `size` bytes to `fd`, going on after a short write or an
  // interrupted one. 0 when all went out, else the errno of the failure.
  static int writeAll(int fd, const void* bytes, std::size_t size);

 private:
  int fd_ = -1;
};

}  // namespace vozi::platform

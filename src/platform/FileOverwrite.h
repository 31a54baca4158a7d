#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/FileDescriptor.h"
#include "platform/Result.h"

namespace vozi::platform {

// Opening a file to overwrite it in place, and removing it afterwards, for
// files users name: the file is reached from the host root without a link
// on the way (TreePath), is not itself a link (O_NOFOLLOW), and is taken only
// when the open descriptor shows a regular file with a single name and, when
// an owner is given, that owner. What is overwritten is the length the
// descriptor reports, and the name is removed only while it still names the
// file that was overwritten.
class FileOverwrite {
 public:
  struct Opened {
    FileDescriptor descriptor;
    std::uint64_t size = 0;
    dev_t device = 0;
    ino_t inode = 0;
  };

  // The file is checked as CheckedOpen checks what it opens: ELOOP for a
  // link, EISDIR for a folder, EINVAL for anything but a regular file,
  // EMLINK for a file with another name, EPERM for another owner's.
  static Result<Opened> open(const std::string& path, std::optional<uid_t> owner);

  // Writes all bytes at the offset; a short write that cannot go on fails.
  static Result<void> writeAt(const FileDescriptor& file, const void* bytes, std::size_t size, std::uint64_t offset);
  // Puts the written data on the disk (fdatasync).
  static Result<void> sync(const FileDescriptor& file);

  // Unlinks the name when it still names the file (device, inode); ESTALE
  // when something else stands there now, which is left alone.
  static Result<void> removeIfSame(const std::string& path, dev_t device, ino_t inode);
};

}  // namespace vozi::platform

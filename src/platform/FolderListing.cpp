#include "platform/FolderListing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/PosixError.h"

namespace vozi::platform {

namespace {

struct LinuxDirent64 {
  ino64_t d_ino;
  off64_t d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  char d_name[];
};

constexpr std::size_t kBufferSize = 64 * 1024;

}  // namespace

Result<std::vector<FolderListing::Entry>> FolderListing::list(FileDescriptor folder) {
  std::vector<Entry> entries;
  const int reading = folder.get();
  if (reading < 0) return PosixError::make(EBADF, "");
  alignas(LinuxDirent64) static thread_local char buffer[kBufferSize];
  for (;;) {
    const long read = ::syscall(SYS_getdents64, reading, buffer, kBufferSize);
    if (read < 0) return PosixError::make(errno, "");
    if (read == 0) break;
    for (long offset = 0; offset < read;) {
      const auto* item = reinterpret_cast<const LinuxDirent64*>(buffer + offset);
      offset += item->d_reclen;
      const char* name = item->d_name;
      if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
      Entry entry;
      entry.name.assign(name);
      if (item->d_type == DT_DIR) {
        entry.kind = Kind::folder;
      } else {
        struct stat info {};
        if (::fstatat(reading, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
          entry.kind = Kind::unknown;
        } else if (S_ISDIR(info.st_mode)) {
          entry.kind = Kind::folder;
        } else {
          entry.kind = S_ISLNK(info.st_mode) ? Kind::link : Kind::file;
          entry.size = static_cast<std::int64_t>(info.st_size);
        }
      }
      entries.push_back(std::move(entry));
    }
  }
  return entries;
}

}  // namespace vozi::platform

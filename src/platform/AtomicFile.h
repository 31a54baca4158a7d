#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/Result.h"

namespace vozi::platform {

// Replaces a file whole, so that a reader (or a power cut) finds either the
// old content or the new, never a torn mix:
//
//   if (auto written = AtomicFile::write(path, bytes); !written) log(written.error().localizedDescription());
//
// The bytes go to a temporary file beside `path` (".<name>.XXXXXX"), which
// is given `mode` and flushed to the device, then renamed over `path`; the
// folder is flushed after the rename, so the new name is on the device
// before the call returns and a power cut cannot lose both the new name and
// the old file. Any failing step leaves `path` as it was (the old file is
// kept under a second name until the folder is flushed, and put back if
// that fails) and no temporary file behind.
//
// Errors are CocoaError values (fileWriteUnknown, fileWriteNoPermission,
// fileWriteOutOfSpace) naming `path` under "NSFilePath". Any thread may
// call; two writers of one path at once each succeed or fail whole, the
// last rename wins.
class AtomicFile {
 public:
  // The system calls a write goes through, so that a test can make any one
  // step fail. Each returns what the system call returns, with errno set on
  // failure; writeAll returns 0 or the errno (as FileDescriptor::writeAll).
  struct Calls {
    int (*makeTemporary)(char* pathTemplate);  // mkostemp, close-on-exec
    int (*setMode)(int fd, mode_t mode);
    int (*writeAll)(int fd, const void* bytes, std::size_t size);
    int (*syncFile)(int fd);
    int (*close)(int fd);
    int (*openFolder)(const char* path);
    int (*link)(const char* existing, const char* newName);
    int (*rename)(const char* from, const char* to);
    int (*syncFolder)(int fd);
    int (*unlink)(const char* path);
  };
  // The real system calls.
  static const Calls& systemCalls();

  static Result<void> write(const std::string& path, std::string_view bytes, mode_t mode = 0644);
  static Result<void> write(const std::string& path, std::string_view bytes, mode_t mode, const Calls& calls);
};

}  // namespace vozi::platform

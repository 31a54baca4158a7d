#pragma once

#include <cstdint>

#include <string>

#include "platform/Result.h"

#include "platform/TreePath.h"

namespace vozi::platform {

// The kernel's file-system cache. Any thread may call; the call blocks
// while dirty data is written out.
class PageCache {
 public:
  // The system's control file; only root may write to it.
  static constexpr const char* kDropCachesPath = "/proc/sys/vm/drop_caches";

  // Writes dirty data out, then asks the kernel to drop the clean page
  // cache by writing "1" to `controlPath`, which must be an existing
  // regular file (a link in its place is refused). A PosixError when the
  // control cannot be opened or the write is refused (not root).
  static Result<void> purge(const std::string& controlPath = kDropCachesPath);

  // Whether the byte at the offset of an open regular file is in memory
  // now: reading it would not wait for the disk. False when it cannot be
  // told.
  static bool holdsOpened(const TreePath::File& file, std::uint64_t offset);
};

}  // namespace vozi::platform

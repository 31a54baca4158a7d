#pragma once

#include <optional>
#include <string>

#include "platform/PageCache.h"

namespace vozi {

// Asks the system to purge the file-system cache: writes dirty data out, then
// drops the clean page cache. Returns 0 on success, 1 when the system refuses
// (not root, no such control). Nobody reads the result but a log line.
int zol_vfs_purge();

class VfsPurge {
 public:
  static constexpr const char* kDropCachesPath = platform::PageCache::kDropCachesPath;

  // The purge against a given control file, which must exist.
  static int purge(const std::string& dropCachesPath);

  // Points zol_vfs_purge() at another control file (a test's temporary
  // file) or, with none, back at the system's. Production code never calls it.
  static void setDropCachesPathForTesting(std::optional<std::string> path);
};

}  // namespace vozi

#pragma once

#include <string>

namespace vozi::platform {

// What kind of disk holds a path, as far as the kernel tells.
class DiskKind {
 public:
  // True when the whole disk holding the path (a host path, not followed if
  // it is a link) spins: its "queue/rotational" under /sys reads 1. Anything
  // unknown (no such device, a virtual file system, nothing to read) is false.
  static bool isRotational(const std::string& path);
};

}  // namespace vozi::platform

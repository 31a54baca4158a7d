#pragma once

#include <string>

namespace vozi::platform {

// What kind of disk holds a path, as far as the kernel tells.
class DiskKind {
 public:
  enum class Rotation { rotating, solid, unknown };

  // Whether the whole disk holding the path (a host path, not followed if
  // it is a link) spins, as its "queue/rotational" under /sys reads (1 or
  // 0); unknown where nothing tells (no such path or device, a virtual file
  // system, nothing to read).
  static Rotation rotation(const std::string& path);
  // True only for a disk known to spin.
  static bool isRotational(const std::string& path) { return rotation(path) == Rotation::rotating; }
};

}  // namespace vozi::platform

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vozi::platform {

// The mounted file systems, as the kernel's mount table lists them.
class MountedVolumes {
 public:
  static constexpr const char* kMountInfoPath = "/proc/self/mountinfo";

  // The mount points of a table in the mountinfo format, in its order
  // (octal escapes such as "\040" decoded); none when it cannot be read.
  static std::vector<std::string> mountPoints(const std::string& mountInfoPath = kMountInfoPath);

  struct Figures {
    std::uint64_t totalCapacity = 0;      // blocks × fragment size
    std::uint64_t availableCapacity = 0;  // blocks free to anyone × fragment size
    std::uint64_t resourceCount = 0;      // file nodes in use; 0 where none are kept
  };
  // The figures of the file system mounted at the path; none when the
  // system refuses them.
  static std::optional<Figures> figures(const std::string& mountPoint);
};

}  // namespace vozi::platform

#pragma once

#include <string>
#include <string_view>

namespace vozi::platform {

// Every absolute path the daemon knows ("/Library/...", "/Users/...") names a
// place in a macOS-style tree under the host root: the environment variable
// VOZI_ROOT, "/" when unset. Tests and demos point it at a temporary folder.
class HostRoot {
 public:
  // The root folder, without a trailing slash ("" for "/").
  static std::string root();
  // The host path of a tree path: "/Library/Caches" -> "<root>/Library/Caches".
  // A relative path is returned unchanged.
  static std::string resolve(std::string_view treePath);
  // The reverse: the tree path of a host path under the root, or the path
  // unchanged when it lies outside the root.
  static std::string unresolve(std::string_view hostPath);
};

}  // namespace vozi::platform

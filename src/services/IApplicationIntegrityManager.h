#pragma once

#include <string>

namespace vozi {

// Watches the installed application bundle and reacts when it is moved or
// removed.
class IApplicationIntegrityManager {
 public:
  virtual ~IApplicationIntegrityManager() = default;
  // Begins watching the bundle at this path of the tree.
  virtual void startWatching(const std::string& bundlePath) = 0;
};

}  // namespace vozi

#pragma once

#include <functional>
#include <string>

namespace vozi::platform {

// Where the named-services transport sends its log lines (refused peers,
// refused calls, oversized frames, folder problems). The platform layer has
// no logger of its own: a higher layer installs one at start-up; until then
// lines are dropped. Lines reach the hook without control characters and
// at most about a kilobyte long (they quote what peers sent). The hook may
// be called from any thread, so it must be thread-safe; it is never called
// with a lock of the transport held.
class ServiceLog {
 public:
  using Hook = std::function<void(const std::string& line)>;

  static void setHook(Hook hook);
  static void log(const std::string& line);
};

}  // namespace vozi::platform

#pragma once

#include "platform/TreePath.h"

namespace vozi::test {

// Makes TreePath resolve with openat2 (where the kernel has it) or
// component by component for the life of the object, so that a test can
// run its table both ways; the default comes back afterwards.
class ScopedResolution {
 public:
  explicit ScopedResolution(bool openat2) { platform::TreePath::setUsesOpenat2(openat2); }
  ~ScopedResolution() { platform::TreePath::setUsesOpenat2(true); }
  ScopedResolution(const ScopedResolution&) = delete;
  ScopedResolution& operator=(const ScopedResolution&) = delete;

  static constexpr bool kBothWays[] = {true, false};
  static const char* name(bool openat2) { return openat2 ? "openat2" : "component by component"; }
};

}  // namespace vozi::test

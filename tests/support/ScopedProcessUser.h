#pragma once

#include <string>

#include "platform/ProcessUser.h"

namespace vozi::test {

// Makes the process appear to run as another account for the life of the
// object (see platform::ProcessUser), then gives the real one back.
class ScopedProcessUser {
 public:
  explicit ScopedProcessUser(const std::string& name) { platform::ProcessUser::setNameOverride(name); }
  ~ScopedProcessUser() { platform::ProcessUser::setNameOverride(std::nullopt); }
  ScopedProcessUser(const ScopedProcessUser&) = delete;
  ScopedProcessUser& operator=(const ScopedProcessUser&) = delete;
};

}  // namespace vozi::test

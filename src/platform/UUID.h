#pragma once

#include <string>

namespace vozi::platform {

// Random (version 4) identifiers in the platform's text form: upper-case
// hexadecimal in 8-4-4-4-12 groups, as "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
// The bits come from the kernel's random source (getrandom), so two
// processes started at the same moment never share identifiers.
class UUID {
 public:
  static std::string randomString();
};

}  // namespace vozi::platform

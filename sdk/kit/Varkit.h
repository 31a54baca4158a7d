#pragma once

#include <string>
#include <vector>

namespace vozi {

// The kit runtime the daemon starts first, with the kits it carries (the
// crash reporter among them). This build carries no kit: starting it only
// records the kits asked for.
class Varkit {
 public:
  static void with(const std::vector<std::string>& kits);
  // The kits the last start asked for.
  static std::vector<std::string> requestedKits();
};

}  // namespace vozi

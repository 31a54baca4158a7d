#pragma once

#include <optional>
#include <string>

namespace vozi {

class MacroConstantsProvider {
 public:
  // The product version the daemon reports: "1.0.99".
  static std::optional<std::string> zolVersionString();
};

}  // namespace vozi

#pragma once

#include "store/MOItemGroupHistory.h"

namespace vozi {

// A group's scanning history.
class MOItemGroupScanningHistory : public MOItemGroupHistory {
 public:
  static constexpr std::string_view kEntityName = "MOItemGroupScanningHistory";
};

}  // namespace vozi

#pragma once

#include "store/MOItemGroupHistory.h"

namespace vozi {

// A group's cleaning history.
class MOItemGroupCleaningHistory : public MOItemGroupHistory {
 public:
  static constexpr std::string_view kEntityName = "MOItemGroupCleaningHistory";
};

}  // namespace vozi

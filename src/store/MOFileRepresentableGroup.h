#pragma once

#include "store/MOItemGroup.h"

namespace vozi {

// A stored group of files and folders; no runtime group is rebuilt from it directly.
class MOFileRepresentableGroup : public MOItemGroup {
 public:
  static constexpr std::string_view kEntityName = "MOFileRepresentableGroup";
};

}  // namespace vozi

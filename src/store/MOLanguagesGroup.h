#pragma once

#include "store/MOItemGroup.h"

namespace vozi {

// A stored group of languages; no runtime group is rebuilt from it directly.
class MOLanguagesGroup : public MOItemGroup {
 public:
  static constexpr std::string_view kEntityName = "MOLanguagesGroup";
};

}  // namespace vozi

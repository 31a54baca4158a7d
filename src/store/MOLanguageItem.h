#pragma once

#include "store/MOFileRepresentableGroup.h"

namespace vozi {

// One stored language with its files; rebuilt by its languages group.
class MOLanguageItem : public MOFileRepresentableGroup {
 public:
  static constexpr std::string_view kEntityName = "MOLanguageItem";
};

}  // namespace vozi

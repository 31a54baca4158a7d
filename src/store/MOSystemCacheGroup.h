#pragma once

#include "common/SystemCacheGroup.h"
#include "store/ItemGroupCoreDataExtensions.h"
#include "store/MOFileRepresentableGroup.h"

namespace vozi {

// The stored caches of the system.
class MOSystemCacheGroup : public MOFileRepresentableGroup {
 public:
  static constexpr std::string_view kEntityName = "MOSystemCacheGroup";

  ItemGroupPtr createRuntimeModel() const override { return ItemGroupCoreDataExtensions::fileGroup<SystemCacheGroup>(*this); }
};

}  // namespace vozi

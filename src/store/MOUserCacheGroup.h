#pragma once

#include "common/UserCacheGroup.h"
#include "store/ItemGroupCoreDataExtensions.h"
#include "store/MOFileRepresentableGroup.h"

namespace vozi {

// The stored caches of the user.
class MOUserCacheGroup : public MOFileRepresentableGroup {
 public:
  static constexpr std::string_view kEntityName = "MOUserCacheGroup";

  ItemGroupPtr createRuntimeModel() const override { return ItemGroupCoreDataExtensions::fileGroup<UserCacheGroup>(*this); }
};

}  // namespace vozi

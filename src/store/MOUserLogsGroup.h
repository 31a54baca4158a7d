#pragma once

#include "common/UserLogsGroup.h"
#include "store/ItemGroupCoreDataExtensions.h"
#include "store/MOFileRepresentableGroup.h"

namespace vozi {

// The stored logs of the user.
class MOUserLogsGroup : public MOFileRepresentableGroup {
 public:
  static constexpr std::string_view kEntityName = "MOUserLogsGroup";

  ItemGroupPtr createRuntimeModel() const override { return ItemGroupCoreDataExtensions::fileGroup<UserLogsGroup>(*this); }
};

}  // namespace vozi

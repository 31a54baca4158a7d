#pragma once

#include "common/SystemLogsGroup.h"
#include "store/ItemGroupCoreDataExtensions.h"
#include "store/MOFileRepresentableGroup.h"

namespace vozi {

// The stored logs of the system.
class MOSystemLogsGroup : public MOFileRepresentableGroup {
 public:
  static constexpr std::string_view kEntityName = "MOSystemLogsGroup";

  ItemGroupPtr createRuntimeModel() const override { return ItemGroupCoreDataExtensions::fileGroup<SystemLogsGroup>(*this); }
};

}  // namespace vozi

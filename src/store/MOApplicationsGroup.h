#pragma once

#include "store/ItemGroupCoreDataExtensions.h"
#include "store/MOItemGroup.h"

namespace vozi {

// The stored applications, each with its leftovers.
class MOApplicationsGroup : public MOItemGroup {
 public:
  static constexpr std::string_view kEntityName = "MOApplicationsGroup";

  ItemGroupPtr createRuntimeModel() const override { return ItemGroupCoreDataExtensions::applicationsGroup(*this); }
};

}  // namespace vozi

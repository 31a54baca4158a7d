#pragma once

#include "store/ItemGroupCoreDataExtensions.h"
#include "store/MOItemGroup.h"

namespace vozi {

// The stored sets of duplicate files.
class MODuplicatesGroup : public MOItemGroup {
 public:
  static constexpr std::string_view kEntityName = "MODuplicatesGroup";

  ItemGroupPtr createRuntimeModel() const override { return ItemGroupCoreDataExtensions::duplicatesGroup(*this); }
};

}  // namespace vozi

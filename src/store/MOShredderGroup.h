#pragma once

#include "common/ShredderGroup.h"
#include "store/ItemGroupCoreDataExtensions.h"
#include "store/MOFileRepresentableGroup.h"

namespace vozi {

// The stored files to shred.
class MOShredderGroup : public MOFileRepresentableGroup {
 public:
  static constexpr std::string_view kEntityName = "MOShredderGroup";

  ItemGroupPtr createRuntimeModel() const override { return ItemGroupCoreDataExtensions::fileGroup<ShredderGroup>(*this); }
};

}  // namespace vozi

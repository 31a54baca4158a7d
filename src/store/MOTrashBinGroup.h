#pragma once

#include "common/TrashBinGroup.h"
#include "store/ItemGroupCoreDataExtensions.h"
#include "store/MOFileRepresentableGroup.h"

namespace vozi {

// The stored contents of the Trash.
class MOTrashBinGroup : public MOFileRepresentableGroup {
 public:
  static constexpr std::string_view kEntityName = "MOTrashBinGroup";

  ItemGroupPtr createRuntimeModel() const override { return ItemGroupCoreDataExtensions::fileGroup<TrashBinGroup>(*this); }
};

}  // namespace vozi

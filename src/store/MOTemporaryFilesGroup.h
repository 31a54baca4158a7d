#pragma once

#include "common/TemporaryFilesGroup.h"
#include "store/ItemGroupCoreDataExtensions.h"
#include "store/MOFileRepresentableGroup.h"

namespace vozi {

// The stored temporary files.
class MOTemporaryFilesGroup : public MOFileRepresentableGroup {
 public:
  static constexpr std::string_view kEntityName = "MOTemporaryFilesGroup";

  ItemGroupPtr createRuntimeModel() const override { return ItemGroupCoreDataExtensions::fileGroup<TemporaryFilesGroup>(*this); }
};

}  // namespace vozi

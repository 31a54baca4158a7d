#pragma once

#include "store/ItemGroupCoreDataExtensions.h"
#include "store/MOFileRepresentableGroup.h"

namespace vozi {

// The stored big files, with their file kinds.
class MOBigFilesGroup : public MOFileRepresentableGroup {
 public:
  static constexpr std::string_view kEntityName = "MOBigFilesGroup";

  ItemGroupPtr createRuntimeModel() const override { return ItemGroupCoreDataExtensions::bigFilesGroup(*this); }
};

}  // namespace vozi

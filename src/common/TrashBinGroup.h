#pragma once

#include "common/FileRepresentableGroup.h"

namespace vozi {

// The Trash.
class TrashBinGroup : public FileRepresentableGroup {
 public:
  static constexpr std::string_view kClassName = "TrashBinGroup";

  using FileRepresentableGroup::FileRepresentableGroup;

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<TrashBinGroup>(*this); }
  std::string_view className() const override { return kClassName; }
};

}  // namespace vozi

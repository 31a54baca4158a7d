#pragma once

#include "common/FileRepresentableGroup.h"

namespace vozi {

// Files to overwrite and delete.
class ShredderGroup : public FileRepresentableGroup {
 public:
  static constexpr std::string_view kClassName = "ShredderGroup";

  using FileRepresentableGroup::FileRepresentableGroup;

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<ShredderGroup>(*this); }
  std::string_view className() const override { return kClassName; }
};

}  // namespace vozi

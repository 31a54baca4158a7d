#pragma once

#include "common/ItemGroup.h"
#include "common/ModelItemArray.h"

namespace vozi {

// A group whose items are files and folders.
class FileRepresentableGroup : public ItemGroup {
 public:
  static constexpr std::string_view kClassName = "FileRepresentableGroup";

  using ItemGroup::ItemGroup;

  std::shared_ptr<IZOLModelItemMutableCollection> emptyItems() const override {
    return std::make_shared<ModelItemArray>();
  }

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<FileRepresentableGroup>(*this); }
  std::string_view className() const override { return kClassName; }
};

}  // namespace vozi

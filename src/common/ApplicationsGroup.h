#pragma once

#include "common/ItemGroup.h"
#include "common/ModelItemArray.h"

namespace vozi {

// The applications found, each with its leftovers.
class ApplicationsGroup : public ItemGroup {
 public:
  static constexpr std::string_view kClassName = "ApplicationsGroup";

  using ItemGroup::ItemGroup;

  std::shared_ptr<IZOLModelItemMutableCollection> emptyItems() const override {
    return std::make_shared<ModelItemArray>();
  }

  std::shared_ptr<IModelItem> copy() const override { return std::make_shared<ApplicationsGroup>(*this); }
  std::string_view className() const override { return kClassName; }
};

}  // namespace vozi
